#include <gtest/gtest.h>

#include <QProcess>

#include "ChildProcess.h"
#include "EspotaCommand.h"
#include "QtPrinters.h"

namespace ifb {
namespace {

EspotaCommand WorkedExample() {
    EspotaCommand c;
    c.espotaPath = QStringLiteral("C:\\tools\\espota.exe");
    c.address = DottedIpv4(0xC0A80001u);
    c.password = QStringLiteral("QN5KDL4072");
    c.firmwarePath = QStringLiteral("C:\\app\\Vardelintool\\UOf.bin");
    return c;
}

TEST(EspotaCommand, WindowsProcessLineMatchesTheWorkedExampleByteForByte) {
    const EspotaCommand c = WorkedExample();
    const QByteArray expected =
        R"(cmd.exe /C ""C:\tools\espota.exe" -i 192.168.0.1 -p 3232 --auth=QN5KDL4072 -f "C:\app\Vardelintool\UOf.bin"")";
    EXPECT_EQ(WindowsProcessCommandLine(c.windowsCommandLine()).toUtf8(), expected);
    EXPECT_EQ(c.toolCommand().windowsCommand, c.windowsCommandLine());
    EXPECT_EQ(
        c.windowsCommand().toUtf8(),
        QByteArray(
            R"("C:\tools\espota.exe" -i 192.168.0.1 -p 3232 --auth=QN5KDL4072 -f "C:\app\Vardelintool\UOf.bin")"));
}

TEST(EspotaCommand, AddressIsMostSignificantByteFirstWithoutLeadingZeros) {
    EXPECT_EQ(DottedIpv4(0xC0A80001u), "192.168.0.1");
    EXPECT_EQ(DottedIpv4(0x0A000102u), "10.0.1.2");
    EXPECT_EQ(DottedIpv4(0u), "0.0.0.0");
    EXPECT_EQ(DottedIpv4(0xFFFFFFFFu), "255.255.255.255");
}

#ifndef Q_OS_WIN
TEST(EspotaCommand, PosixWordsRunScriptsUnderPython) {
    EspotaCommand c = WorkedExample();
    c.espotaPath = QStringLiteral("/opt/arduino/tools/espota");
    c.firmwarePath = QStringLiteral("/home/op/Vardelintool/UOf.bin");
    const QStringList args = {
        "-i", "192.168.0.1", "-p", "3232", "--auth=QN5KDL4072", "-f", "/home/op/Vardelintool/UOf.bin"};
    EXPECT_EQ(c.words(), QStringList{c.espotaPath} + args);
    c.espotaPath = QStringLiteral("/opt/tools/ESPOTA.Py");
    EXPECT_EQ(c.words(), QStringList({"python3", c.espotaPath}) + args);
    EXPECT_EQ(c.toolCommand().words, c.words());
    EXPECT_EQ(c.displayLine(),
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
