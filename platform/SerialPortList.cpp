#include "SerialPortList.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <algorithm>

namespace ifb {
namespace {

QChar asciiUpper(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') ? QChar(static_cast<char16_t>(u - (u'a' - u'A'))) : c;
}

// <0, 0, >0 by character value, ASCII letters compared as upper case.
int compareIgnoringAsciiCase(QStringView a, QStringView b) {
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t x = asciiUpper(a[i]).unicode();
        const char16_t y = asciiUpper(b[i]).unicode();
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool isAsciiDigit(QChar c) {
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

bool isComName(const QString& name) {
    if (name.size() < 4 || compareIgnoringAsciiCase(QStringView(name).left(3), u"COM") != 0) return false;
    return std::all_of(name.begin() + 3, name.end(), isAsciiDigit);
}

// COM3 compares as COM03, so that COM1..COM9 come before COM10.
QString sortKey(const QString& name) {
    if (name.size() != 4) return name;
    return name.left(3) + QLatin1Char('0') + name.mid(3);
}

// Compares two digit runs by value.
int compareNumbers(QStringView a, QStringView b) {
    while (a.size() > 1 && a.front() == u'0') a = a.mid(1);
    while (b.size() > 1 && b.front() == u'0') b = b.mid(1);
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

int compareNatural(QStringView a, QStringView b) {
    auto digitsStart = [](QStringView s) {
        qsizetype i = s.size();
        while (i > 0 && isAsciiDigit(s[i - 1])) --i;
        return i;
    };
    const qsizetype da = digitsStart(a);
    const qsizetype db = digitsStart(b);
    if (const int c = compareIgnoringAsciiCase(a.left(da), b.left(db))) return c;
    const QStringView na = a.mid(da);
    const QStringView nb = b.mid(db);
    if (na.isEmpty() != nb.isEmpty()) return na.isEmpty() ? -1 : 1;
    if (const int c = compareNumbers(na, nb)) return c;
    return compareIgnoringAsciiCase(a, b);
}

}  // namespace

QString PortIdentity(const SystemPortList& system, const QString& name) {
    if (name.isEmpty()) return QString();
    const QString device = system.resolve(name);
    if (!device.isEmpty()) {
        const QFileInfo node(device);
        return device + QLatin1Char('@') +
               QString::number(node.fileTime(QFileDevice::FileMetadataChangeTime).toMSecsSinceEpoch());
    }
    const QList<COMPPORT_NMAE> listed = system.present();
    const bool present =
        std::any_of(listed.begin(), listed.end(), [&](const COMPPORT_NMAE& p) { return p.name == name; });
    return present ? QStringLiteral("listed") : QString();
}

SystemPortList SystemPorts() {
    SystemPortList list;
    list.present = [] {
        QList<COMPPORT_NMAE> ports;
        const auto infos = QSerialPortInfo::availablePorts();
        for (const QSerialPortInfo& info : infos) ports.append({info.portName(), info.description()});
        return ports;
    };
    list.resolve = [](const QString& name) -> QString {
#ifdef Q_OS_WIN
        Q_UNUSED(name);
        return QString();
#else
        if (name.isEmpty()) return QString();
        const QFileInfo info(name.contains(QLatin1Char('/')) ? name : QStringLiteral("/dev/") + name);
        return info.exists() ? info.canonicalFilePath() : QString();
#endif
    };
    return list;
}

TEnumCom::TEnumCom(SystemPortList system) : system_(std::move(system)) {}

int TEnumCom::Enumerate(const QString& configuredPort) {
    list_.clear();
    if (system_.present) {
        const QList<COMPPORT_NMAE> present = system_.present();
        list_.assign(present.begin(), present.end());
    }
    if (!configuredPort.isEmpty() && system_.resolve) {
        const QString device = system_.resolve(configuredPort);
        const bool listed = std::any_of(list_.begin(), list_.end(), [&](const COMPPORT_NMAE& p) {
            return p.name == configuredPort || (!device.isEmpty() && system_.resolve(p.name) == device);
        });
        if (!device.isEmpty() && !listed) list_.push_back({configuredPort, device});
    }
    std::stable_sort(list_.begin(), list_.end(), [](const COMPPORT_NMAE& a, const COMPPORT_NMAE& b) {
        return PortNameLess(a.name, b.name);
    });
    return count();
}

QStringList TEnumCom::items() const {
    QStringList out;
    out.reserve(count());
    for (const COMPPORT_NMAE& p : list_) out.append(ItemText(p));
    return out;
}

QString TEnumCom::ItemText(const COMPPORT_NMAE& port) {
    return port.name + QLatin1Char('(') + port.description + QLatin1Char(')');
}

QString TEnumCom::PortNameOfItem(const QString& item) {
    const qsizetype open = item.indexOf(QLatin1Char('('));
    return open < 0 ? item : item.left(open);
}

bool TEnumCom::PortNameLess(const QString& a, const QString& b) {
    const QString ka = sortKey(a);
    const QString kb = sortKey(b);
    // Every COM name has the same stem, so names of other forms order the same
    // way against all of them and the two rules together stay a strict order.
    int c = isComName(a) && isComName(b) ? compareIgnoringAsciiCase(ka, kb) : compareNatural(ka, kb);
    if (c == 0) c = a.compare(b);
    return c < 0;
}

}  // namespace ifb
