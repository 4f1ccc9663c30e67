#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace ifb {

// One present serial port.
struct COMPPORT_NMAE {
    QString name;         // the system's name for it: "COM3", "ttyUSB0", or a device path
    QString description;  // readable text, may be empty

    bool operator==(const COMPPORT_NMAE& o) const { return name == o.name && description == o.description; }
};

// The system's side of the port list, replaceable in tests.
struct SystemPortList {
    // The ports the system lists right now.
    std::function<QList<COMPPORT_NMAE>()> present;
    // The device path behind a port name when a device exists there, else empty.
    std::function<QString(const QString& name)> resolve;
};

// QSerialPortInfo for the list; the file system (names without '/' under /dev)
// for resolving.
SystemPortList SystemPorts();

// What tells one device on a port from the next: the device behind the name
// and when its node was made (a re-plugged device gets a new node), or only
// "listed" where the name does not lead to a device file. Empty: no port.
QString PortIdentity(const SystemPortList& system, const QString& name);

// The sorted list of present serial ports.
class TEnumCom {
  public:
    explicit TEnumCom(SystemPortList system = SystemPorts());

    // Fills the list from the system and sorts it; returns the number of
    // records. A configured port that exists but that the system does not list
    // (a pty, a symlink) is added with its device path as description.
    int Enumerate(const QString& configuredPort = QString());

    int count() const { return static_cast<int>(list_.size()); }
    const COMPPORT_NMAE& at(int index) const { return list_.at(static_cast<size_t>(index)); }
    const std::vector<COMPPORT_NMAE>& ports() const { return list_; }
    // One list item per record, in order.
    QStringList items() const;

    // "name(description)".
    static QString ItemText(const COMPPORT_NMAE& port);
    // The port name of an item: its text before the first "(".
    static QString PortNameOfItem(const QString& item);
    // List order. COM names: a four-character name compares with "0" inserted
    // before its last character (COM3 as COM03), then by character value
    // ignoring ASCII case. Other names: a trailing number compares by value
    // (ttyUSB2 before ttyUSB10).
    static bool PortNameLess(const QString& a, const QString& b);

  private:
    SystemPortList system_;
    std::vector<COMPPORT_NMAE> list_;
};

}  // namespace ifb
