#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>

#include "AppPaths.h"
#include "ChildProcess.h"
#include "EspotaCommand.h"
#include "QtPrinters.h"

namespace ifb {
namespace {

// The worked example: espota in C:\tools, board 192.168.0.1, the program in
// C:\app with binPath_Mode 1. The firmware path is built as the update builds
// it, from the program's path as Qt gives it (forward slashes).
EspotaCommand WorkedExample() {
    EspotaCommand c;
    c.espotaPath = QStringLiteral("C:\\tools\\espota.exe");
    c.address = DottedIpv4(0xC0A80001u);
    c.password = QStringLiteral("QN5KDL4072");
    c.firmwarePath =
        FirmwareFileIn(FirmwareFolderFor(QStringLiteral("C:/app/ifb-updater.exe"), 1, QString()));
    return c;
}

// What RunOtaUpdate hands the runner, and the line the Windows child gets.
TEST(EspotaCommand, WindowsProcessLineMatchesTheWorkedExampleCharacterByCharacter) {
    const ToolCommand command = WorkedExample().toolCommand();
    const QString expected =
        QStringLiteral("cmd.exe /C ") + QStringLiteral("\"\"") + QStringLiteral("C:\\tools\\espota.exe") +
        QStringLiteral("\"") + QStringLiteral(" -i 192.168.0.1 -p 3232 --auth=QN5KDL4072 -f ") +
        QStringLiteral("\"") + QStringLiteral("C:\\app\\Vardelintool\\UOf.bin") + QStringLiteral("\"\"");
    const QString line = WindowsProcessCommandLine(command.windowsCommand);
    EXPECT_EQ(line, expected);
    ASSERT_EQ(line.size(), expected.size());
    for (qsizetype i = 0; i < line.size(); ++i) ASSERT_EQ(line[i], expected[i]) << "at " << i;
}

TEST(EspotaCommand, WindowsPathsAreAbsoluteWithBackslashes) {
    const struct {
        const char* given;
        const char* taken;
    } cases[] = {
        {R"(C:\tools\espota.exe)", R"(C:\tools\espota.exe)"},
        {"C:/tools/espota.exe", R"(C:\tools\espota.exe)"},
        {"d:/a b/espota.exe", R"(d:\a b\espota.exe)"},
        {R"(\\server\share\espota.exe)", R"(\\server\share\espota.exe)"},
        {"//server/share/espota.exe", R"(\\server\share\espota.exe)"},
    };
    for (const auto& c : cases) EXPECT_EQ(WindowsToolPath(QString::fromUtf8(c.given)), c.taken) << c.given;
    // A bare name is taken in the current folder, never looked up on PATH.
    const QString bare = WindowsToolPath(QStringLiteral("espota.exe"));
    EXPECT_TRUE(bare.endsWith(QStringLiteral("\\espota.exe"))) << bare.toStdString();
    EXPECT_GT(bare.size(), QStringLiteral("\\espota.exe").size());
    EXPECT_FALSE(bare.contains(QLatin1Char('/')));
}

TEST(EspotaCommand, AddressIsMostSignificantByteFirstWithoutLeadingZeros) {
    EXPECT_EQ(DottedIpv4(0xC0A80001u), "192.168.0.1");
    EXPECT_EQ(DottedIpv4(0x0A000102u), "10.0.1.2");
    EXPECT_EQ(DottedIpv4(0u), "0.0.0.0");
    EXPECT_EQ(DottedIpv4(0xFFFFFFFFu), "255.255.255.255");
}

#ifndef Q_OS_WIN
// What RunOtaUpdate hands the runner on POSIX: the tool by its absolute path
// (so that PATH is never searched), the file the runner checks for execute
// permission, and scripts under python3 (which need none).
TEST(EspotaCommand, PosixWordsNameTheToolByItsAbsolutePath) {
    const QStringList args = {
        "-i", "192.168.0.1", "-p", "3232", "--auth=QN5KDL4072", "-f", "/home/op/Vardelintool/UOf.bin"};
    const QString here = QDir::currentPath();
    const struct {
        const char* given;
        QStringList words;
        QString executable;
    } cases[] = {
        {"/opt/arduino/tools/espota", {"/opt/arduino/tools/espota"}, "/opt/arduino/tools/espota"},
        {"espota", {here + "/espota"}, here + "/espota"},
        {"tools/espota", {here + "/tools/espota"}, here + "/tools/espota"},
        {"/opt/tools/ESPOTA.Py", {"python3", "/opt/tools/ESPOTA.Py"}, QString()},
        {"espota.py", {"python3", here + "/espota.py"}, QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given);
        EspotaCommand cmd = WorkedExample();
        cmd.espotaPath = QString::fromUtf8(c.given);
        cmd.firmwarePath = QStringLiteral("/home/op/Vardelintool/UOf.bin");
        const ToolCommand command = cmd.toolCommand();
        EXPECT_EQ(command.words, c.words + args);
        EXPECT_EQ(command.executable, c.executable);
    }
    EspotaCommand cmd = WorkedExample();
    cmd.espotaPath = QStringLiteral("/opt/tools/ESPOTA.Py");
    cmd.firmwarePath = QStringLiteral("/home/op/Vardelintool/UOf.bin");
    EXPECT_EQ(cmd.displayLine(),
              "'python3' '/opt/tools/ESPOTA.Py' '-i' '192.168.0.1' '-p' '3232' "
              "'--auth=QN5KDL4072' '-f' '/home/op/Vardelintool/UOf.bin'");
}

// The quoted line goes through a real shell and must come out word for word.
TEST(EspotaCommand, ShellQuotingKeepsEveryWordLiteral) {
    const QStringList words = {"plain",  "two words",  "it's",  "''",         "\"dq\"",
                               "$HOME",  "${PATH}",    "`id`",  "$(id)",      "a;b",
                               "a && b", "a|b",        "*",     "~",          "back\\slash",
                               "",       "line\nfeed", "#hash", "日本語 パス"};
    EXPECT_EQ(PosixShellQuote("it's"), "'it'\\''s'");
    QProcess sh;
    sh.start("/bin/sh", {"-c", "printf '<%s>\\n' " + PosixShellLine(words)});
    ASSERT_TRUE(sh.waitForFinished(5000));
    QString expected;
    for (const QString& w : words) expected += "<" + w + ">\n";
    EXPECT_EQ(QString::fromUtf8(sh.readAllStandardOutput()), expected);
}
#endif

}  // namespace
}  // namespace ifb
