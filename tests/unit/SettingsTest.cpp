#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "AppPaths.h"
#include "IniImage.h"
#include "QtPrinters.h"
#include "RecordingMessageBoxes.h"
#include "Settings.h"
#include "TestFiles.h"

using namespace ifb;
using namespace ifb::test;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QString text(const QByteArray& bytes) {
    return QString::fromUtf8(bytes);
}

const MessageBoxRequest kWriteFailedBox{
    QStringLiteral("iniファイルの生成・更新に失敗しました。\n\nアクセス権限を確認してください。"),
    QStringLiteral("例外エラー"), MsgIcon::Error, MsgButtons::Ok, MsgOwner::None};

// A settings file in a fresh program folder, and the exit sequence's two writers.
struct SettingsFixture : ::testing::Test {
    QTemporaryDir dir;
    QString path;
    test::RecordingMessageBoxes boxes;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = MakeSettingsPath(dir.filePath(QStringLiteral("ifb-updater")));
    }
    void writeAtExit(const Option& o, const ProgramSettings& p, quint16 mode, const SerialLine& line,
                     const LinkSettings& link) {
        WriteSettings(path, o, p, mode);
        WriteLinkSettings(path, o.UseUSB, line, link);
    }
};

}  // namespace

// ---------------------------------------------------------------- paths

TEST(AppPaths, SettingsFileAndProgramFolderBesideTheExecutable) {
    struct Case {
        const char* exe;
        const char* folder;
        const char* settings;
        const char* base;
    } cases[] = {
        {"/opt/ifb/ifb-updater", "/opt/ifb/Vardelintool", "/opt/ifb/Vardelintool/ifb-updater.ini",
         "ifb-updater"},
        {"/opt/ifb/tool.exe", "/opt/ifb/Vardelintool", "/opt/ifb/Vardelintool/tool.ini", "tool"},
        {"/a.b/my.tool.exe", "/a.b/Vardelintool", "/a.b/Vardelintool/my.tool.ini", "my.tool"},
        {"/a.b/updater", "/a.b/Vardelintool", "/a.b/Vardelintool/updater.ini", "updater"},
        {"/x/.hidden", "/x/Vardelintool", "/x/Vardelintool/.hidden.ini", ".hidden"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.exe);
        EXPECT_EQ(ProgramFolder(QString::fromUtf8(c.exe)), QString::fromUtf8(c.folder));
        EXPECT_EQ(SettingsPathFor(QString::fromUtf8(c.exe)), QString::fromUtf8(c.settings));
        EXPECT_EQ(ExeBaseName(QString::fromUtf8(c.exe)), QString::fromUtf8(c.base));
    }
}

TEST(AppPaths, FirmwareFileByBinPathMode) {
    const QString exe = QStringLiteral("/opt/ifb/tool.exe");
    const QString data = QStringLiteral("/home/op/.local/share");
    EXPECT_EQ(FirmwareFileIn(FirmwareFolderFor(exe, 1, data)),
              QStringLiteral("/opt/ifb/Vardelintool/UOf.bin"));
    EXPECT_EQ(FirmwareFileIn(FirmwareFolderFor(exe, 0, data)),
              QStringLiteral("/home/op/.local/share/korima/tool/UOf.bin"));
    EXPECT_EQ(FirmwareFileIn(FirmwareFolderFor(exe, 7, data + QLatin1Char('/'))),
              QStringLiteral("/home/op/.local/share/korima/tool/UOf.bin"));
    // Without a per-user folder there is no place for the file, rather than "/korima/...".
    EXPECT_EQ(FirmwareFileIn(FirmwareFolderFor(exe, 0, QString())), QString());
    // The process's own executable: the folder sits beside it.
    EXPECT_EQ(FirmwareFolder(1), ProgramFolder());
}

TEST(AppPaths, FirstStartCreatesTheProgramFolderWithParents) {
    QTemporaryDir dir;
    const QString exe = dir.filePath(QStringLiteral("deep/er/ifb-updater"));
    bool ok = false;
    const QString path = MakeSettingsPath(exe, &ok);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("deep/er/Vardelintool"))).isDir());
    EXPECT_FALSE(QFile::exists(path));  // only the folder; the file comes at exit

    Option o;
    o.ComSpeed = 99;
    ProgramSettings p;
    p.USBchange = 0;
    EXPECT_TRUE(ReadSettings(path, o, p));
    EXPECT_EQ(o.ComSpeed, 4);
    EXPECT_EQ(p.USBchange, 1);
    EXPECT_EQ(o.ComPort, QStringLiteral("COM1"));
    EXPECT_EQ(o.TCPServAddr, QStringLiteral("192.168.0.10"));
}

// The user's folders for one test: XDG_CONFIG_HOME and XDG_DATA_HOME point
// into a fresh folder (the config one not created yet), and are put back after.
struct UserFolders {
    QTemporaryDir home;
    QString config = home.filePath(QStringLiteral("missing/config"));
    QString data = home.filePath(QStringLiteral("data"));
    QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    QByteArray oldData = qgetenv("XDG_DATA_HOME");
    UserFolders() {
        qputenv("XDG_CONFIG_HOME", config.toUtf8());
        qputenv("XDG_DATA_HOME", data.toUtf8());
    }
    ~UserFolders() {
        restore("XDG_CONFIG_HOME", oldConfig);
        restore("XDG_DATA_HOME", oldData);
    }
    UserFolders(const UserFolders&) = delete;
    UserFolders& operator=(const UserFolders&) = delete;
    static void restore(const char* name, const QByteArray& value) {
        if (value.isEmpty())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
};

// An installed layout: <root>/usr/bin/ifb-updater with its uploader in
// <root>/usr/libexec/ifb-updater. Returns the executable's path.
QString InstallLayout(const QTemporaryDir& root) {
    const QString tool = root.filePath(QStringLiteral("usr/libexec/ifb-updater/espota"));
    QDir().mkpath(QFileInfo(tool).path());
    QDir().mkpath(root.filePath(QStringLiteral("usr/bin")));
    writeFile(tool, "#!/bin/sh\n");
    return root.filePath(QStringLiteral("usr/bin/ifb-updater"));
}

TEST(AppPlaces, PortableCopyKeepsEverythingInItsProgramFolder) {
    UserFolders user;
    QTemporaryDir dir;
    const QString exe = dir.filePath(QStringLiteral("ifb-updater"));
    const ProgramPlaces places = ResolvePlaces(exe);
    EXPECT_FALSE(places.userFolders);
    EXPECT_EQ(places.settingsPath(), SettingsPathFor(exe));
    EXPECT_EQ(FirmwareFolderFor(places, exe, 1, user.data), ProgramFolder(exe));
    EXPECT_EQ(FirmwareFolderFor(places, exe, 0, user.data),
              user.data + QStringLiteral("/korima/ifb-updater"));
    EXPECT_TRUE(places.programFolderError.isEmpty());
    EXPECT_TRUE(BundledToolFor(exe).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(user.config));
}

TEST(AppPlaces, InstalledProgramUsesTheUsersFoldersAndCreatesAMissingConfigFolder) {
    UserFolders user;
    QTemporaryDir root;
    const QString exe = InstallLayout(root);
    EXPECT_EQ(BundledToolFor(exe), root.filePath(QStringLiteral("usr/libexec/ifb-updater/espota")));
    const ProgramPlaces places = ResolvePlaces(exe);
    EXPECT_TRUE(places.userFolders);
    EXPECT_EQ(places.settingsPath(), user.config + QStringLiteral("/Vardelintool/ifb-updater.ini"));
    EXPECT_EQ(MakeSettingsPath(exe), places.settingsPath());
    EXPECT_TRUE(QFileInfo(user.config + QStringLiteral("/Vardelintool")).isDir());
    EXPECT_TRUE(places.settingsFolderError.isEmpty()) << places.settingsFolderError.toStdString();
    EXPECT_EQ(FirmwareFolderFor(places, exe, 1, user.data), user.data + QStringLiteral("/Vardelintool"));
    EXPECT_EQ(FirmwareFolderFor(places, exe, 0, user.data),
              user.data + QStringLiteral("/korima/ifb-updater"));
    // Nothing beside the executable, not even the program folder.
    EXPECT_FALSE(QFileInfo::exists(root.filePath(QStringLiteral("usr/bin/Vardelintool"))));
}

TEST(AppPlaces, SettingsLeftInTheProgramFolderAreAdoptedOnceAndNeverOverwritten) {
    UserFolders user;
    QTemporaryDir root;
    const QString exe = InstallLayout(root);
    const QString left = SettingsPathFor(exe);
    QDir().mkpath(QFileInfo(left).path());
    writeFile(left, "[Option]\nComSpeed=1\n");
    QFile::setPermissions(left, QFileDevice::ReadOwner | QFileDevice::ReadGroup);

    const ProgramPlaces first = ResolvePlaces(exe);
    EXPECT_EQ(first.adoptedFrom, left);
    EXPECT_EQ(FileBytes(first.settingsPath()), QByteArray("[Option]\nComSpeed=1\n"));
    EXPECT_TRUE(QFileInfo(first.settingsPath()).isWritable());
    EXPECT_TRUE(SettingsFileWritable(first.settingsPath()));

    writeFile(first.settingsPath(), "[Option]\nComSpeed=3\n");
    const ProgramPlaces second = ResolvePlaces(exe);
    EXPECT_TRUE(second.adoptedFrom.isEmpty());
    EXPECT_EQ(FileBytes(second.settingsPath()), QByteArray("[Option]\nComSpeed=3\n"));
    EXPECT_EQ(FileBytes(left), QByteArray("[Option]\nComSpeed=1\n"));
}

TEST(AppPlaces, ConfigFolderThatCannotBeMadeIsReportedWithTheFolderThatRefused) {
    UserFolders user;
    QTemporaryDir root;
    const QString exe = InstallLayout(root);
    // A file where the config folder should be: no one, root included, can make folders in it.
    const QString blocker = user.home.filePath(QStringLiteral("missing"));
    writeFile(blocker, "not a folder");
    const ProgramPlaces places = ResolvePlaces(exe);
    EXPECT_TRUE(places.userFolders);
    EXPECT_EQ(places.settingsFolderError, blocker + QStringLiteral(": not a folder"));
    EXPECT_EQ(FileBytes(blocker), QByteArray("not a folder"));
}

// A portable copy on a read-only file system whose folders still show every
// write bit: only a real write finds out. The test runs itself again in a user
// and mount namespace where the program's folder is mounted read-only.
TEST(AppPlaces, ProgramFolderOnAReadOnlyFileSystemGivesWayToTheUsersFolders) {
    const QString inner = qEnvironmentVariable("IFB_TEST_RO_PROGRAM_DIR");
    if (inner.isEmpty()) {
        const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
        if (unshare.isEmpty()) GTEST_SKIP() << "no unshare";
        QTemporaryDir dir;
        const QString program = dir.filePath(QStringLiteral("stick"));
        QDir().mkpath(program + QStringLiteral("/Vardelintool"));
        writeFile(program + QStringLiteral("/Vardelintool/ifb-updater.ini"), "[Option]\nComSpeed=2\n");
        QFile::setPermissions(program, QFile::Permissions(0x7777));
        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("IFB_TEST_RO_PROGRAM_DIR"), program);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
        run.setProcessEnvironment(env);
        run.setProcessChannelMode(QProcess::MergedChannels);
        // 77: the namespace or the read-only mount is not available here.
        run.start(unshare,
                  {QStringLiteral("-rm"), QStringLiteral("sh"), QStringLiteral("-c"),
                   QStringLiteral("mount --bind \"$0\" \"$0\" && mount -o remount,bind,ro \"$0\" \"$0\" "
                                  "|| exit 77; exec \"$1\" --gtest_filter=\"$2\""),
                   program, QCoreApplication::applicationFilePath(),
                   QStringLiteral("AppPlaces.ProgramFolderOnAReadOnlyFileSystemGivesWayToTheUsersFolders")});
        ASSERT_TRUE(run.waitForFinished(30000));
        const QString output = QString::fromLocal8Bit(run.readAll());
        if (run.exitCode() == 77 || (run.exitCode() != 0 && output.startsWith(QStringLiteral("unshare:"))))
            GTEST_SKIP() << "no read-only mount: " << output.toStdString();
        EXPECT_EQ(run.exitCode(), 0) << output.toStdString();
        EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
        return;
    }
    const QString exe = inner + QStringLiteral("/ifb-updater");
    ASSERT_TRUE(QFileInfo(inner).isWritable() || QFileInfo(inner).permissions() & QFileDevice::WriteOther);
    const ProgramPlaces places = ResolvePlaces(exe);
    EXPECT_TRUE(places.userFolders);
    EXPECT_TRUE(places.programFolderError.startsWith(inner + QStringLiteral("/Vardelintool: ")))
        << places.programFolderError.toStdString();
    EXPECT_TRUE(places.programFolderError.contains(QStringLiteral("ead-only")))
        << places.programFolderError.toStdString();
    EXPECT_EQ(places.settingsPath(),
              qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Vardelintool/ifb-updater.ini"));
    // The settings of the copy are not lost: they are the start of the user's file.
    EXPECT_EQ(places.adoptedFrom, SettingsPathFor(exe));
    EXPECT_EQ(FileBytes(places.settingsPath()), QByteArray("[Option]\nComSpeed=2\n"));
    EXPECT_EQ(FirmwareFolderFor(places, exe, 1, QString()),
              qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Vardelintool"));
}

// ---------------------------------------------------------------- code tables

TEST(SettingsCodes, SpeedCodesRatesAndDialogItems) {
    struct Case {
        int code;
        BaudRate rate;
        int item;
    } cases[] = {{0, BaudRate::br19200, 1}, {1, BaudRate::br9600, 0},   {2, BaudRate::br38400, 2},
                 {3, BaudRate::br57600, 3}, {4, BaudRate::br115200, 4}, {7, BaudRate::br19200, 1},
                 {-1, BaudRate::br19200, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(BaudRateFromSpeedCode(c.code), c.rate);
        EXPECT_EQ(SpeedItemFromCode(c.code), c.item);
    }
    // Choosing "9600bps" stores 1, "19.2kbps" stores 0.
    EXPECT_EQ(SpeedCodeFromItem(0), 1);
    EXPECT_EQ(SpeedCodeFromItem(1), 0);
    for (int item = 2; item <= 4; ++item) EXPECT_EQ(SpeedCodeFromItem(item), item);
    for (int code = 0; code <= 4; ++code) EXPECT_EQ(SpeedCodeFromBaudRate(BaudRateFromSpeedCode(code)), code);

    EXPECT_EQ(ParityFromCode(0), Parity::prNone);
    EXPECT_EQ(ParityFromCode(1), Parity::prOdd);
    EXPECT_EQ(ParityFromCode(2), Parity::prEven);
    EXPECT_EQ(ParityFromCode(9), Parity::prEven);
    EXPECT_EQ(ParityItemFromCode(9), 2);
    EXPECT_EQ(ParityCodeFromItem(1), 1);
}

TEST(SettingsCodes, PortNamesInTheFile) {
    EXPECT_EQ(PortNameFromSetting(QStringLiteral("12")), QStringLiteral("COM12"));
    EXPECT_EQ(PortNameFromSetting(QStringLiteral(" 3 ")), QStringLiteral("COM3"));
    EXPECT_EQ(PortNameFromSetting(QString()), QStringLiteral("COM1"));
    EXPECT_EQ(PortNameFromSetting(QStringLiteral("/tmp/x/ttyIFB")), QStringLiteral("/tmp/x/ttyIFB"));
    EXPECT_EQ(PortNameFromSetting(QStringLiteral("ttyUSB0")), QStringLiteral("ttyUSB0"));

    EXPECT_EQ(PortSettingFromName(QStringLiteral("COM12")), QStringLiteral("12"));
    EXPECT_EQ(PortSettingFromName(QStringLiteral("ttyUSB0")), QStringLiteral("ttyUSB0"));
    EXPECT_EQ(PortSettingFromName(QStringLiteral("COMX")), QStringLiteral("COMX"));
    EXPECT_EQ(PortSettingFromName(QStringLiteral("COM")), QStringLiteral("COM"));
    EXPECT_EQ(ComPortNumber(QStringLiteral("COM7")), 7);
    EXPECT_EQ(ComPortNumber(QStringLiteral("COM7a")), std::nullopt);
}

TEST(IniInteger, OnlyWholeDecimalIntegersCount) {
    struct Case {
        const char* text;
        std::optional<int> value;
    } cases[] = {{"42", 42},
                 {" 42 ", 42},
                 {"+7", 7},
                 {"-3", -3},
                 {"2147483647", 2147483647},
                 {"-2147483648", std::numeric_limits<int>::min()},
                 {"2147483648", std::nullopt},
                 {"99999999999999999999", std::nullopt},
                 {"", std::nullopt},
                 {"-", std::nullopt},
                 {"abc", std::nullopt},
                 {"12abc", std::nullopt},
                 {"1 2", std::nullopt},
                 {"0x10", std::nullopt},
                 {"1e3", std::nullopt},
                 {"１２", std::nullopt}};  // full-width digits
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseIniInteger(QString::fromUtf8(c.text)), c.value);
    }
}

// ---------------------------------------------------------------- round trips

TEST_F(SettingsFixture, FirstExitWritesOptionInOrderThenComDebug) {
    Option o;
    ProgramSettings p;
    ReadSettings(path, o, p);
    o.ComPort = QStringLiteral("COM3");
    o.fNoVerCheck = 0;
    o.ProgMode = 1;
    o.App_ESPOta = QStringLiteral("/opt/esp/espota.py");
    o.App_ESPTool = QStringLiteral("never written");
    SerialLine line;
    line.port = QStringLiteral("COM3");
    line.baudRate = BaudRateFromSpeedCode(o.ComSpeed);
    LinkSettings link;
    writeAtExit(o, p, 0x0D, line, link);

    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(
        text(FileBytes(path)),
        QStringLiteral("[Option]\nComPort=3\nComSpeed=4\nParity=0\nUseUSB=0\nTCPPort=3335\nfTCPServer=1\n"
                       "TCPServPort=10777\nTCPServAddr=192.168.0.10\nfNoVerCheck=0\nSPISpeed=1\nSPIMode=1\n"
                       "ProgMode=1\nUploadSpeed=5\nApp_ESPOta=/opt/esp/espota.py\nProgAddr1=65536\n"
                       "ProgAddr2=32768\nSpiffSOffset=0\nCONECT_WAIT_TIME=15000\nProg_WAIT_TIME=60000\n"
                       "fBoot=0\nCHK_IFB_TIME=10000\nOldDousaMode=5\nSelectModel=1\nbinPath_Mode=1\n"
                       "USBWait_Mode=1\nUSBchange=1\n"
                       "\n[ComDebug]\nPort=3\nBaudRate=115200\nParityBits=0\nByteSize=8\nStopBits=0\n"
                       "FlowCont=0\nIDNo=0\nfDispCont1=1\nMAX_REC_NO=200\n"));

    Option back;
    ProgramSettings pBack;
    ReadSettings(path, back, pBack);
    EXPECT_EQ(back.ComPort, QStringLiteral("COM3"));
    EXPECT_EQ(back.fNoVerCheck, 0);
    EXPECT_EQ(back.ProgMode, 1);
    EXPECT_EQ(back.App_ESPOta, o.App_ESPOta);
    EXPECT_EQ(back.App_ESPTool, QString());
}

TEST_F(SettingsFixture, EveryValueRoundTrips) {
    Option o;
    o.ComPort = QStringLiteral("COM12");
    o.ComSpeed = 1;
    o.Parity = 2;
    o.UseUSB = 0;
    o.TCPPort = 4000;
    o.fTCPServer = static_cast<int>(0xC0A8000Au);  // an address as one 32-bit number: negative
    o.TCPServPort = 1234;
    o.TCPServAddr = QStringLiteral("3232235530");
    o.fNoVerCheck = 0;
    o.SPISpeed = 0;
    o.SPIMode = 3;
    o.ProgMode = 1;
    o.UploadSpeed = 2;
    o.App_ESPOta = QStringLiteral("/home/ユーザー/esp ota/espota.py");
    o.ProgAddr1 = 1;
    o.ProgAddr2 = 2;
    o.SpiffSOffset = -5;
    o.CONECT_WAIT_TIME = 100;
    o.Prog_WAIT_TIME = 200;
    o.fBoot = 1;
    o.SelectModel = 0;
    ProgramSettings p{1500, 0, 2, 3};
    ASSERT_TRUE(WriteSettings(path, o, p, 0));

    Option back;
    ProgramSettings pBack;
    ASSERT_TRUE(ReadSettings(path, back, pBack));
    EXPECT_EQ(back.ComPort, o.ComPort);
    EXPECT_EQ(back.ComSpeed, o.ComSpeed);
    EXPECT_EQ(back.Parity, o.Parity);
    EXPECT_EQ(back.TCPPort, o.TCPPort);
    EXPECT_EQ(back.fTCPServer, o.fTCPServer);
    EXPECT_EQ(back.TCPServPort, o.TCPServPort);
    EXPECT_EQ(back.TCPServAddr, o.TCPServAddr);
    EXPECT_EQ(back.fNoVerCheck, o.fNoVerCheck);
    EXPECT_EQ(back.SPISpeed, o.SPISpeed);
    EXPECT_EQ(back.SPIMode, o.SPIMode);
    EXPECT_EQ(back.ProgMode, o.ProgMode);
    EXPECT_EQ(back.UploadSpeed, o.UploadSpeed);
    EXPECT_EQ(back.App_ESPOta, o.App_ESPOta);
    EXPECT_EQ(back.ProgAddr1, o.ProgAddr1);
    EXPECT_EQ(back.ProgAddr2, o.ProgAddr2);
    EXPECT_EQ(back.SpiffSOffset, o.SpiffSOffset);
    EXPECT_EQ(back.CONECT_WAIT_TIME, o.CONECT_WAIT_TIME);
    EXPECT_EQ(back.Prog_WAIT_TIME, o.Prog_WAIT_TIME);
    EXPECT_EQ(back.fBoot, o.fBoot);
    EXPECT_EQ(back.SelectModel, o.SelectModel);
    EXPECT_EQ(pBack.CHK_IFB_TIME, 1500);
    EXPECT_EQ(pBack.binPath_Mode, 0);
    EXPECT_EQ(pBack.USBWait_Mode, 2);
    EXPECT_EQ(pBack.USBchange, 3);
    EXPECT_TRUE(FileBytes(path).contains(QStringLiteral("ユーザー").toUtf8()));  // UTF-8 on disk
}

TEST_F(SettingsFixture, PortNameTextRoundTripsInBothSections) {
    Option o;
    o.ComPort = QStringLiteral("/tmp/x/ttyIFB");
    SerialLine line;
    line.port = o.ComPort;
    writeAtExit(o, ProgramSettings{}, 0, line, LinkSettings{});
    const QString written = text(FileBytes(path));
    EXPECT_TRUE(written.contains(QStringLiteral("ComPort=/tmp/x/ttyIFB\n")));
    EXPECT_TRUE(written.contains(QStringLiteral("Port=/tmp/x/ttyIFB\n")));

    Option back;
    ProgramSettings p;
    ReadSettings(path, back, p);
    EXPECT_EQ(back.ComPort, QStringLiteral("/tmp/x/ttyIFB"));
    SerialLine lineBack;
    LinkSettings link;
    ReadLinkSettings(path, kTransportSerial, lineBack, link);
    EXPECT_EQ(lineBack.port, QStringLiteral("/tmp/x/ttyIFB"));
}

TEST_F(SettingsFixture, UntouchedKeysAndForeignSectionsSurviveRuns) {
    writeFile(path,
              "; written by hand\n"
              "[Other]\nkeep=me\n\n"
              "[option]\n"
              "App_ESPTool=C:\\tools\\esptool.exe\n"
              "comspeed=2\n"
              "Extra = spaced value \n"
              "fProgFile2=1\n"
              "\n"
              "[Tail]\nx=1\n");
    for (int run = 0; run < 3; ++run) {
        Option o;
        ProgramSettings p;
        ReadSettings(path, o, p);
        EXPECT_EQ(o.App_ESPTool, QStringLiteral("C:\\tools\\esptool.exe"));
        EXPECT_EQ(o.ComSpeed, 2);
        EXPECT_EQ(o.fProgFile2, 1);
        writeAtExit(o, p, 0, SerialLine{}, LinkSettings{});
    }
    const QString t = text(FileBytes(path));
    // Existing lines keep their place and spelling, new keys follow the last
    // key of the section, before its blank line; ComDebug comes last.
    EXPECT_TRUE(
        t.startsWith(QStringLiteral("; written by hand\n[Other]\nkeep=me\n\n[option]\n"
                                    "App_ESPTool=C:\\tools\\esptool.exe\ncomspeed=2\n"
                                    "Extra = spaced value \nfProgFile2=1\nComPort=1\nParity=0\n")))
        << t.toStdString();
    EXPECT_TRUE(t.contains(QStringLiteral("USBchange=1\n\n[Tail]\nx=1\n\n[ComDebug]\nPort=1\n")))
        << t.toStdString();
    EXPECT_EQ(t.count(QStringLiteral("ComPort=")), 1);
}

TEST_F(SettingsFixture, ComDebugValuesAndFallbacks) {
    struct Case {
        const char* body;
        const char* port;
        BaudRate rate;
        Parity parity;
        DataBits bits;
        StopBits stop;
        FlowControl flow;
    } cases[] = {
        {"", "COM1", BaudRate::br19200, Parity::prNone, DataBits::dbEight, StopBits::sbOneStopBit,
         FlowControl::fcNone},
        {"Port=300\nBaudRate=12345\nParityBits=2\nByteSize=7\nStopBits=2\nFlowCont=1\n", "COM44",
         BaudRate::br9600, Parity::prEven, DataBits::dbSeven, StopBits::sbTwoStopBits,
         FlowControl::fcHardware},
        {"Port=-1\nBaudRate=256000\nParityBits=5\nByteSize=9\nStopBits=3\nFlowCont=2\n", "COM255",
         BaudRate::br256000, Parity::prNone, DataBits::dbEight, StopBits::sbOneStopBit,
         FlowControl::fcSoftware},
        {"Port=ttyUSB0\nBaudRate=fast\nParityBits=-1\nByteSize=x\nStopBits=1\nFlowCont=3\n", "ttyUSB0",
         BaudRate::br19200, Parity::prNone, DataBits::dbEight, StopBits::sbOne5StopBits, FlowControl::fcNone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        writeFile(path, QByteArray("[ComDebug]\n") + c.body + "IDNo=257\nfDispCont1=0\nMAX_REC_NO=50\n");
        SerialLine line;
        line.flowControl = FlowControl::fcHardware;
        LinkSettings link;
        ReadLinkSettings(path, kTransportSerial, line, link);
        EXPECT_EQ(line.port, QString::fromUtf8(c.port));
        EXPECT_EQ(line.baudRate, c.rate);
        EXPECT_EQ(line.parity, c.parity);
        EXPECT_EQ(line.dataBits, c.bits);
        EXPECT_EQ(line.stopBits, c.stop);
        EXPECT_EQ(line.flowControl, c.flow);
        EXPECT_EQ(link.idNo, 1);
        EXPECT_EQ(link.fDispCont1, 0);
        EXPECT_EQ(link.maxRecNo, 50);
    }
}

TEST_F(SettingsFixture, RateChosenInOptionReplacesABadBaudRate) {
    writeFile(path, "[ComDebug]\nPort=300\nBaudRate=12345\nIDNo=9\n");
    SerialLine line;
    LinkSettings link;
    ReadLinkSettings(path, kTransportSerial, line, link);
    ASSERT_EQ(line.baudRate, BaudRate::br9600);
    // The link then applies ComPort / ComSpeed / Parity, and writes them at exit.
    line.port = ComPortName(5);
    line.baudRate = BaudRateFromSpeedCode(3);
    line.parity = ParityFromCode(1);
    ASSERT_TRUE(WriteLinkSettings(path, kTransportSerial, line, link));
    EXPECT_EQ(
        text(FileBytes(path)),
        QStringLiteral("[ComDebug]\nPort=5\nBaudRate=57600\nIDNo=9\nParityBits=1\nByteSize=8\nStopBits=0\n"
                       "FlowCont=0\nfDispCont1=1\nMAX_REC_NO=200\n"));
}

TEST_F(SettingsFixture, SerialKeysOnlyForTheSerialTransport) {
    writeFile(path, "[ComDebug]\nPort=7\nBaudRate=12345\nIDNo=3\n");
    SerialLine line;
    line.port = QStringLiteral("untouched");
    LinkSettings link;
    ReadLinkSettings(path, kTransportTcp, line, link);
    EXPECT_EQ(line.port, QStringLiteral("untouched"));
    EXPECT_EQ(line.baudRate, BaudRate::br19200);
    EXPECT_EQ(link.idNo, 3);

    link.idNo = 4;
    ASSERT_TRUE(WriteLinkSettings(path, kTransportTcp, line, link));
    EXPECT_EQ(text(FileBytes(path)),
              QStringLiteral("[ComDebug]\nPort=7\nBaudRate=12345\nIDNo=4\nfDispCont1=1\nMAX_REC_NO=200\n"));
}

// ---------------------------------------------------------------- failures

TEST_F(SettingsFixture, ReadOnlyFileShowsOneBoxAndStaysAsItWas) {
    const QByteArray before = "[Option]\nComPort=4\nfNoVerCheck=1\n[ComDebug]\nIDNo=1\n";
    writeFile(path, before);
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    ASSERT_FALSE(SettingsFileWritable(path));

    Option o;
    o.fNoVerCheck = 0;
    LinkSettings link;
    link.idNo = 9;
    EXPECT_FALSE(WriteSettings(path, o, ProgramSettings{}, 0));
    EXPECT_FALSE(WriteLinkSettings(path, kTransportSerial, SerialLine{}, link));

    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0], kWriteFailedBox);
    EXPECT_EQ(FileBytes(path), before);
}

TEST_F(SettingsFixture, FileThatCannotBeCreatedShowsTheBox) {
    ASSERT_TRUE(QDir(QFileInfo(path).path()).removeRecursively());
    EXPECT_FALSE(WriteSettings(path, Option{}, ProgramSettings{}, 0));
    EXPECT_FALSE(WriteLinkSettings(path, kTransportSerial, SerialLine{}, LinkSettings{}));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0], kWriteFailedBox);
}

namespace {

// Lowers this process's file-size limit, so a write beyond it fails with
// EFBIG the way a full disk fails, and restores it afterwards.
struct FileSizeLimit {
    rlimit old{};
    void (*oldHandler)(int) = nullptr;
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old);
        oldHandler = signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = old;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old);
        signal(SIGXFSZ, oldHandler);
    }
};

}  // namespace

TEST_F(SettingsFixture, WriteThatFailsBeforeTheRenameKeepsTheOldFile) {
    Option o;
    o.App_ESPOta = QStringLiteral("/opt/espota.py");
    ASSERT_TRUE(WriteSettings(path, o, ProgramSettings{}, 0));
    const QByteArray before = FileBytes(path);

    // Both writers make the file longer than it is now, so both hit the limit:
    // the first with a large write, the second with a small one that stays in
    // the write buffer until the end.
    o.App_ESPOta = QString(64 * 1024, QLatin1Char('a'));
    {
        FileSizeLimit limit(static_cast<rlim_t>(before.size()));
        EXPECT_FALSE(WriteSettings(path, o, ProgramSettings{}, 0));
        EXPECT_FALSE(WriteLinkSettings(path, kTransportSerial, SerialLine{}, LinkSettings{}));
    }
    EXPECT_EQ(FileBytes(path), before);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0], kWriteFailedBox);
    // No temporary file left beside it.
    EXPECT_EQ(QDir(QFileInfo(path).path()).entryList(QDir::Files), QStringList{QFileInfo(path).fileName()});
}

TEST_F(SettingsFixture, UnreadableFileGivesDefaultsAndIsNotOverwritten) {
    // A folder where the file should be: it exists, but reading it fails.
    ASSERT_TRUE(QDir().mkpath(path));
    Option o;
    o.ComSpeed = 1;
    ProgramSettings p;
    EXPECT_FALSE(ReadSettings(path, o, p));
    EXPECT_EQ(o.ComSpeed, 4);
    EXPECT_FALSE(WriteSettings(path, o, p, 0));
    EXPECT_TRUE(QFileInfo(path).isDir());
}

// ---------------------------------------------------------------- bad input files

TEST_F(SettingsFixture, BadFilesLoadWithDefaults) {
    const QByteArray longValue(200 * 1024, '7');
    struct Case {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"junk lines", "garbage\n=novalue\n[\n[]\n\x01\x02\xff\xfe\n[Option\nComSpeed\n"},
        {"keys before any section", "ComSpeed=2\nCHK_IFB_TIME=5\n[Other]\nComSpeed=3\n"},
        {"non-integers", "[Option]\nComSpeed=fast\nParity=1.5\nTCPPort=0x10\nCHK_IFB_TIME=\nfBoot=1e3\n"},
        {"very long values", "[Option]\nComSpeed=" + longValue + "\nTCPServAddr=192.168.0.10\n"},
        {"empty", ""},
        {"binary", QByteArray::fromRawData("\0\0\0[Option]\0ComSpeed=2", 22)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(path, c.bytes);
        Option o;
        o.ComSpeed = 0;
        o.TCPPort = 0;
        ProgramSettings p;
        p.CHK_IFB_TIME = 0;
        ReadSettings(path, o, p);
        EXPECT_EQ(o.ComSpeed, 4);
        EXPECT_EQ(o.Parity, 0);
        EXPECT_EQ(o.TCPPort, 3335);
        EXPECT_EQ(o.fBoot, 0);
        EXPECT_EQ(p.CHK_IFB_TIME, 10000);
        EXPECT_EQ(o.TCPServAddr, QStringLiteral("192.168.0.10"));
        // and the writers still produce a readable file
        ASSERT_TRUE(WriteSettings(path, o, p, 0));
        Option back;
        ReadSettings(path, back, p);
        EXPECT_EQ(back.ComSpeed, 4);
    }
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(SettingsFixture, DuplicatesCrlfAndBomAreHandled) {
    // First section and first key win for reading and for writing.
    writeFile(path,
              "\xEF\xBB\xBF[Option]\r\nComSpeed=2\r\nComSpeed=3\r\n\r\n[OPTION]\r\nParity=1\r\n"
              "[ComDebug]\r\nIDNo=5\r\n");
    Option o;
    ProgramSettings p;
    ReadSettings(path, o, p);
    EXPECT_EQ(o.ComSpeed, 2);
    EXPECT_EQ(o.Parity, 0);
    SerialLine line;
    LinkSettings link;
    ReadLinkSettings(path, kTransportTcp, line, link);
    EXPECT_EQ(link.idNo, 5);

    o.ComSpeed = 1;
    ASSERT_TRUE(WriteSettings(path, o, p, 0));
    const QByteArray after = FileBytes(path);
    EXPECT_TRUE(after.startsWith("\xEF\xBB\xBF[Option]\r\nComSpeed=1\r\nComSpeed=3\r\nComPort=1\r\n"));
    EXPECT_TRUE(after.contains("USBchange=1\r\n\r\n[OPTION]\r\nParity=1\r\n[ComDebug]\r\nIDNo=5\r\n"));
    EXPECT_FALSE(after.contains("\n\n")) << "every line ends in CRLF";
    EXPECT_EQ(after.count("\xEF\xBB\xBF"), 1);
}

TEST(IniImage, ValuesAreOneLineAndNamesIgnoreCase) {
    IniImage ini;
    ini.parse("[Sec]\nKey = a=b \n");
    EXPECT_EQ(ini.readString(QStringLiteral("sec"), QStringLiteral("KEY")), QStringLiteral("a=b"));
    EXPECT_FALSE(ini.value(QStringLiteral("Sec"), QStringLiteral("Other")).has_value());
    EXPECT_TRUE(ini.hasSection(QStringLiteral("SEC")));

    // A line break in a value must not smuggle in keys of its own.
    ini.writeString(QStringLiteral("Sec"), QStringLiteral("Path"), QStringLiteral("/a\nUseUSB=2\r\nb"));
    EXPECT_EQ(QString::fromUtf8(ini.toBytes()), QStringLiteral("[Sec]\nKey = a=b \nPath=/a UseUSB=2  b\n"));

    // Writing the value a key already holds leaves its line as it was.
    ini.writeString(QStringLiteral("SEC"), QStringLiteral("key"), QStringLiteral("a=b"));
    EXPECT_TRUE(ini.toBytes().startsWith("[Sec]\nKey = a=b \n"));
}

// ---------------------------------------------------------------- time-outs

TEST_F(SettingsFixture, TimeoutsAreUsedWithinTheirRangeAndTheFileKeepsWhatStillWorks) {
    struct Case {
        const char* written;  // CHK_IFB_TIME, CONECT_WAIT_TIME and Prog_WAIT_TIME all get it
        quint32 chkMs, connectMs, progMs;
        const char* writtenBack;  // the same for the three keys, except where noted
        bool notice;
    } cases[] = {
        {"-1", 100, 100, 100, "100", true},
        {"-2147483648", 100, 100, 100, "100", true},
        {"0", 100, 100, 100, "100", true},
        {"5", 100, 100, 100, "100", true},
        {"2000", 2000, 2000, 2000, "2000", false},
        {"2147483647", 120000, 600000, 3600000, "2147483647", true},
        {"99999999999", 10000, 15000, 60000, nullptr, false},  // no integer: the defaults
        {"", 10000, 15000, 60000, nullptr, false},
        {"soon", 10000, 15000, 60000, nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written);
        const QByteArray v(c.written);
        writeFile(path,
                  "[Option]\nCHK_IFB_TIME=" + v + "\nCONECT_WAIT_TIME=" + v + "\nProg_WAIT_TIME=" + v + "\n");
        Option o;
        ProgramSettings p;
        ReadSettings(path, o, p);
        EXPECT_EQ(p.checkBoardMs(), c.chkMs);
        EXPECT_EQ(o.connectWaitMs(), c.connectMs);
        EXPECT_EQ(o.progWaitMs(), c.progMs);

        const QStringList notices = TimeoutNotices(o, p);
        if (c.notice) {
            ASSERT_EQ(notices.size(), 3);
            EXPECT_EQ(notices[0], QStringLiteral("設定 CHK_IFB_TIME=%1 は範囲外です。%2ms で動作します。")
                                      .arg(QString::fromLatin1(c.written))
                                      .arg(c.chkMs));
        } else {
            EXPECT_TRUE(notices.isEmpty()) << notices.join('\n').toStdString();
        }

        ASSERT_TRUE(WriteSettings(path, o, p, 0));
        const QString after = text(FileBytes(path));
        if (c.writtenBack) {
            for (const char* key : {"CHK_IFB_TIME", "CONECT_WAIT_TIME", "Prog_WAIT_TIME"})
                EXPECT_TRUE(after.contains(
                    QStringLiteral("\n%1=%2\n").arg(QLatin1String(key), QLatin1String(c.writtenBack))))
                    << key << "\n"
                    << after.toStdString();
        } else {
            EXPECT_TRUE(after.contains(QStringLiteral("\nCHK_IFB_TIME=10000\n"))) << after.toStdString();
        }
    }
    EXPECT_TRUE(boxes.shown.empty());
}
