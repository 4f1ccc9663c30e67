#include "EspotaCommandLine.h"

#include <vector>

namespace ifb::espota {
namespace {

enum class Key {
    Help,
    Ip,
    HostIp,
    Port,
    HostPort,
    Auth,
    File,
    Spiffs,
    Progress,
    Debug,
    Timeout,
    Md5Target,
    StopAndWait,
    Retries
};

constexpr int kMaxRetries = 100;

struct OptionDef {
    Key key;
    char shortName;  // '\0': a long name only
    const char* longName;
    const char* metavar;  // nullptr: a flag
};

const std::vector<OptionDef>& optionTable() {
    static const std::vector<OptionDef> list = {
        {Key::Help, 'h', "help", nullptr},
        {Key::Ip, 'i', "ip", "ESP_IP"},
        {Key::HostIp, 'I', "host_ip", "HOST_IP"},
        {Key::Port, 'p', "port", "ESP_PORT"},
        {Key::HostPort, 'P', "host_port", "HOST_PORT"},
        {Key::Auth, 'a', "auth", "AUTH"},
        {Key::File, 'f', "file", "FILE"},
        {Key::Spiffs, 's', "spiffs", nullptr},
        {Key::Progress, 'r', "progress", nullptr},
        {Key::Debug, 'd', "debug", nullptr},
        {Key::Timeout, 't', "timeout", "TIMEOUT"},
        {Key::Md5Target, 'm', "md5-target", nullptr},
        {Key::StopAndWait, '\0', "stop-and-wait", nullptr},
        {Key::Retries, '\0', "retries", "N"},
    };
    return list;
}

QString optionNames(const OptionDef& def) {
    if (def.shortName == '\0') return QStringLiteral("--%1").arg(QLatin1String(def.longName));
    return QStringLiteral("-%1/--%2").arg(QString(QLatin1Char(def.shortName)), QLatin1String(def.longName));
}

class Parser {
  public:
    ParsedCommandLine result;

    bool fail(const QString& message) {
        result.outcome = ParsedCommandLine::Outcome::UsageError;
        result.error = message;
        return false;
    }

    bool integer(const OptionDef& def, const QString& text, int* out) {
        bool ok = false;
        const int value = text.toInt(&ok, 10);
        if (!ok)
            return fail(QStringLiteral("argument %1: invalid int value: '%2'").arg(optionNames(def), text));
        *out = value;
        return true;
    }

    bool apply(const OptionDef& def, const QString& value) {
        EspotaOptions& o = result.options;
        switch (def.key) {
            case Key::Help:
                result.outcome = ParsedCommandLine::Outcome::Help;
                return true;
            case Key::Ip:
                o.espIp = value;
                return true;
            case Key::HostIp:
                o.hostIp = value;
                return true;
            case Key::Port:
                return integer(def, value, &o.espPort);
            case Key::HostPort:
                return integer(def, value, &o.hostPort);
            case Key::Auth:
                o.auth = value;
                return true;
            case Key::File:
                o.image = value;
                return true;
            case Key::Spiffs:
                o.spiffs = true;
                return true;
            case Key::Progress:
                o.progress = true;
                return true;
            case Key::Debug:
                o.debug = true;
                return true;
            case Key::Md5Target:
                o.md5Target = true;
                return true;
            case Key::StopAndWait:
                o.stopAndWait = true;
                return true;
            case Key::Retries:
                if (!integer(def, value, &o.retries)) return false;
                if (o.retries < 0 || o.retries > kMaxRetries)
                    return fail(
                        QStringLiteral("argument %1: must be 0-%2").arg(optionNames(def)).arg(kMaxRetries));
                return true;
            case Key::Timeout: {
                bool ok = false;
                const double seconds = value.toDouble(&ok);
                if (!ok || seconds <= 0 || seconds > 3600)
                    return fail(
                        QStringLiteral("argument %1: invalid value: '%2'").arg(optionNames(def), value));
                o.timeoutSeconds = seconds;
                return true;
            }
        }
        return true;
    }

    const OptionDef* findLong(const QString& name) {
        const OptionDef* match = nullptr;
        QStringList candidates;
        for (const OptionDef& def : optionTable()) {
            const QString full = QLatin1String(def.longName);
            if (full == name) return &def;
            if (full.startsWith(name)) {
                match = &def;
                candidates << QStringLiteral("--") + full;
            }
        }
        if (candidates.size() > 1) {
            fail(QStringLiteral("ambiguous option: --%1 could match %2")
                     .arg(name, candidates.join(QStringLiteral(", "))));
            return nullptr;
        }
        if (!match) fail(QStringLiteral("unrecognized arguments: --%1").arg(name));
        return match;
    }

    const OptionDef* findShort(QChar letter) {
        for (const OptionDef& def : optionTable())
            if (def.shortName != '\0' && QLatin1Char(def.shortName) == letter) return &def;
        return nullptr;
    }

    bool parse(const QStringList& args) {
        for (qsizetype i = 0; i < args.size(); ++i) {
            const QString& arg = args[i];
            const auto nextValue = [&](const OptionDef& def, QString* value) {
                if (i + 1 >= args.size() ||
                    (args[i + 1].startsWith(QLatin1Char('-')) && args[i + 1].size() > 1))
                    return fail(QStringLiteral("argument %1: expected one argument").arg(optionNames(def)));
                *value = args[++i];
                return true;
            };
            if (arg.startsWith(QLatin1String("--")) && arg.size() > 2) {
                const qsizetype eq = arg.indexOf(QLatin1Char('='));
                const QString name = arg.mid(2, eq < 0 ? -1 : eq - 2);
                const OptionDef* def = findLong(name);
                if (!def) return false;
                QString value;
                if (def->metavar) {
                    if (eq >= 0)
                        value = arg.mid(eq + 1);
                    else if (!nextValue(*def, &value))
                        return false;
                } else if (eq >= 0) {
                    return fail(QStringLiteral("argument %1: ignored explicit argument '%2'")
                                    .arg(optionNames(*def), arg.mid(eq + 1)));
                }
                if (!apply(*def, value)) return false;
                continue;
            }
            if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
                // One or more short options; a value-taking one ends the group.
                for (qsizetype k = 1; k < arg.size(); ++k) {
                    const OptionDef* def = findShort(arg[k]);
                    if (!def) return fail(QStringLiteral("unrecognized arguments: %1").arg(arg));
                    QString value;
                    if (def->metavar) {
                        if (k + 1 < arg.size())
                            value = arg.mid(k + 1);
                        else if (!nextValue(*def, &value))
                            return false;
                        if (!apply(*def, value)) return false;
                        break;
                    }
                    if (!apply(*def, value)) return false;
                }
                continue;
            }
            return fail(QStringLiteral("unrecognized arguments: %1").arg(arg));
        }
        return true;
    }
};

}  // namespace

ParsedCommandLine ParseEspotaCommandLine(const QStringList& arguments) {
    Parser parser;
    parser.parse(arguments);
    const EspotaOptions& o = parser.result.options;
    if (parser.result.outcome == ParsedCommandLine::Outcome::Run) {
        if (o.espPort < 1 || o.espPort > 65535)
            parser.fail(QStringLiteral("argument -p/--port: port must be 1-65535"));
        else if (o.hostPort != -1 && (o.hostPort < 0 || o.hostPort > 65535))
            parser.fail(QStringLiteral("argument -P/--host_port: port must be 0-65535"));
    }
    return parser.result;
}

QString UsageLine(const QString& program) {
    return QStringLiteral(
               "usage: %1 [-h] [-i ESP_IP] [-I HOST_IP] [-p ESP_PORT] [-P HOST_PORT] [-a AUTH] "
               "[-f FILE] [-s] [-r] [-d] [-t TIMEOUT] [-m] [--stop-and-wait] [--retries N]\n")
        .arg(program);
}

QString HelpText(const QString& program) {
    return UsageLine(program) +
           QStringLiteral(
               "\nTransmit image over the air to an ESP32 module with OTA support.\n"
               "\noptions:\n"
               "  -h, --help            show this help message and exit\n"
               "\nDestination:\n"
               "  -i ESP_IP, --ip ESP_IP\n"
               "                        ESP32 IP Address.\n"
               "  -I HOST_IP, --host_ip HOST_IP\n"
               "                        Host IP Address.\n"
               "  -p ESP_PORT, --port ESP_PORT\n"
               "                        ESP32 OTA Port. Default: 3232\n"
               "  -P HOST_PORT, --host_port HOST_PORT\n"
               "                        Host server OTA Port. Default: random 10000-60000\n"
               "\nAuthentication:\n"
               "  -a AUTH, --auth AUTH  Set authentication password.\n"
               "  -m, --md5-target      Use MD5 of the password as the secret in the PBKDF2 login.\n"
               "\nImage:\n"
               "  -f FILE, --file FILE  Image file.\n"
               "  -s, --spiffs          Use this option to transmit a SPIFFS image and do not flash the "
               "module.\n"
               "\nOutput:\n"
               "  -d, --debug           Show debug output. Overrides loglevel with debug.\n"
               "  -r, --progress        Show progress output. Does not work for Arduino IDE.\n"
               "  -t TIMEOUT, --timeout TIMEOUT\n"
               "                        Timeout to wait for the ESP32 to accept invitation. Default: 10\n"
               "\nTransfer:\n"
               "  --stop-and-wait       Send one 1024-byte chunk and wait for its answer before the next\n"
               "                        (the classic way; default: stream, paced by TCP).\n"
               "  --retries N           Try again from the invitation when the transfer breaks off or\n"
               "                        the ESP32 does not connect back, N times. Default: 1\n");
}

}  // namespace ifb::espota
