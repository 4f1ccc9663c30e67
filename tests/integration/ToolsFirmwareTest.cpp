// The firmware image linked into the executable as ":/firmware/<id>".
#include <gtest/gtest.h>

#include "FirmwareId.h"
#include "FirmwareResource.h"
#include "ImageChecker.h"
#include "QtPrinters.h"

namespace {

TEST(FirmwareResource, TheBuiltInImageIsAnAppImageNamedByTheFirmwareId) {
    bool ok = false;
    const QByteArray image = ifb::LoadFirmware(QString::fromLatin1(ifb::kFirmwareId), &ok);
    ASSERT_TRUE(ok);
    ASSERT_FALSE(image.isEmpty());
    EXPECT_EQ(static_cast<quint8>(image[0]), 0xE9);
#if IFB_FIRMWARE_GENERATED
    // The generated image reports the build's firmware id, so a simulated board
    // shows exactly that version after the update.
    const ifb::espimage::ImageReport report = ifb::espimage::CheckImage(image);
    EXPECT_TRUE(report.ok) << report.error.toStdString();
    EXPECT_EQ(report.version, QString::fromLatin1(ifb::kFirmwareId));
    EXPECT_EQ(image.size(), 1600000);
#endif
}

TEST(FirmwareResource, AnotherIdFindsNothing) {
    bool ok = true;
    EXPECT_TRUE(ifb::LoadFirmware(QStringLiteral("0000XXX00"), &ok).isEmpty());
    EXPECT_FALSE(ok);
    ok = true;
    EXPECT_TRUE(ifb::LoadFirmware(QString(), &ok).isEmpty());
    EXPECT_FALSE(ok);
}

}  // namespace
