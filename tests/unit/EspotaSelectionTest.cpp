#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "EspotaSelection.h"
#include "QtPrinters.h"
#include "RecordingMessageBoxes.h"
#include "ScriptedOperator.h"

using namespace ifb;
using namespace ifb::test;

namespace {

QString touch(const QTemporaryDir& dir, const QString& name) {
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    return path;
}

const QString kInvalidChoice =
    QStringLiteral("有効なファイルパスではありません。\n\n「espota.exe」を再選択してください。");
const QString kGiveUp = QStringLiteral("ファームウェア書き込みは完了していません。\n中止しますか。");

}  // namespace

TEST(EspotaNameCheck, AcceptsOnlyTheUploadToolsNames) {
    QTemporaryDir dir;
    struct Case {
        const char* name;
        bool accepted;
    } cases[] = {
        {"espota", true},          {"ESPOTA", true},         {"espota.py", true},     {"EspOta.PY", true},
        {"espota.exe.bak", false}, {"espota_v2.exe", false}, {"espota_v2.py", false}, {"myespota", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsAcceptedEspotaPath(touch(dir, QString::fromLatin1(c.name))), c.accepted) << c.name;
    }
    EXPECT_FALSE(IsAcceptedEspotaPath(dir.filePath(QStringLiteral("sub/espota"))));  // missing
    EXPECT_FALSE(IsAcceptedEspotaPath(dir.path()));                                  // a folder
    EXPECT_FALSE(IsAcceptedEspotaPath(QString()));
}

// Start-up and the tool choice take the tool's path by this one test.
TEST(EspotaNameCheck, OnlyARegularFileIsATool) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = touch(dir, QStringLiteral("plain"));
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("folder"))));
    ASSERT_TRUE(QFile::link(file, dir.filePath(QStringLiteral("link-to-file"))));
    ASSERT_TRUE(
        QFile::link(dir.filePath(QStringLiteral("folder")), dir.filePath(QStringLiteral("link-to-folder"))));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("gone")), dir.filePath(QStringLiteral("dangling"))));
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("fifo"))).constData(), 0600), 0);
    const struct {
        const char* name;
        bool tool;
    } cases[] = {
        {"plain", true},     {"link-to-file", true}, {"folder", false},  {"link-to-folder", false},
        {"dangling", false}, {"fifo", false},        {"missing", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsToolFile(dir.filePath(QString::fromLatin1(c.name))), c.tool) << c.name;
    }
    EXPECT_FALSE(IsToolFile(QString()));
    EXPECT_FALSE(IsToolFile(QStringLiteral("/dev/null")));
    // The name test comes on top: a folder or a pipe called espota is refused.
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("sub/espota"))));
    EXPECT_FALSE(IsAcceptedEspotaPath(dir.filePath(QStringLiteral("sub/espota"))));
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("espota.py"))).constData(), 0600), 0);
    EXPECT_FALSE(IsAcceptedEspotaPath(dir.filePath(QStringLiteral("espota.py"))));
    ASSERT_TRUE(QFile::link(file, dir.filePath(QStringLiteral("espota"))));
    EXPECT_TRUE(IsAcceptedEspotaPath(dir.filePath(QStringLiteral("espota"))));
}

TEST(SelectEspota, InvalidChoiceIsRefusedAndTheDialogComesBackEmpty) {
    QTemporaryDir dir;
    const QString good = touch(dir, QStringLiteral("espota.py"));
    const QString bad = touch(dir, QStringLiteral("espota_v2.py"));
    ScriptedOperator op;
    RecordingMessageBoxes boxes;
    op.espotaAnswers = {bad, good};
    QString setting = QStringLiteral("/old/espota");
    EXPECT_TRUE(SelectEspota(op, setting, true));
    EXPECT_EQ(setting, good);
    EXPECT_EQ(op.espotaDialogPaths, (QStringList{QStringLiteral("/old/espota"), QString()}));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0], (MessageBoxRequest{kInvalidChoice, std::nullopt, MsgIcon::None, MsgButtons::Ok,
                                                 MsgOwner::MainWindow}));
}

TEST(SelectEspota, CancelAtStartUpAsksAndNoBringsTheDialogBack) {
    QTemporaryDir dir;
    ScriptedOperator op;
    RecordingMessageBoxes boxes;
    op.espotaAnswers = {std::nullopt, std::nullopt};
    boxes.answers = {MsgAnswer::No, MsgAnswer::Yes};
    QString setting = QStringLiteral("/old/espota");
    EXPECT_FALSE(SelectEspota(op, setting, true));
    EXPECT_EQ(setting, QStringLiteral("/old/espota"));
    EXPECT_EQ(op.espotaDialogPaths.size(), 2);
    ASSERT_EQ(boxes.shown.size(), 2u);
    for (const auto& box : boxes.shown) {
        EXPECT_EQ(box, (MessageBoxRequest{kGiveUp, QStringLiteral("ファームウェア書き込みの中止"),
                                          MsgIcon::Question, MsgButtons::YesNo, MsgOwner::MainWindow}));
    }
}

TEST(SelectEspota, CancelFromTheMenuAsksNothing) {
    ScriptedOperator op;
    RecordingMessageBoxes boxes;
    QString setting = QStringLiteral("/old/espota");
    EXPECT_FALSE(SelectEspota(op, setting, false));
    EXPECT_EQ(setting, QStringLiteral("/old/espota"));
    EXPECT_TRUE(boxes.shown.empty());
}
