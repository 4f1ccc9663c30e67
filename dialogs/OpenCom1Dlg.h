#pragma once

#include <QStringList>

#include "CentredDialog.h"
#include "SerialPortList.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace ifb {

class DeviceWatcher;

// The port dialog: the present serial ports, the speed and the parity. It
// refills its list by itself when devices come or go. "Open" can only be
// pressed while the list holds a port; with no port present the operator can
// plug one in (the list refills) or cancel.
class TOpenCom1Dlg final : public CentredDialog {
    Q_OBJECT
  public:
    explicit TOpenCom1Dlg(QWidget* owner = nullptr);
    ~TOpenCom1Dlg() override;

    // Replaces the list items; nothing is selected afterwards.
    void setItems(const QStringList& items);
    QStringList items() const;
    // Selects an item and shows its text in STComPort; -1 clears the selection only.
    void setSelectedIndex(int index);
    int selectedIndex() const;
    QString portText() const;

    // Radio items 0..4 ("9600bps".."115.2kbps") and 0..2 (none, odd, even); -1: none ticked.
    void setSpeedItem(int item);
    int speedItem() const;
    void setParityItem(int item);
    int parityItem() const;
    void setParityEnabled(bool enabled);

    // The hidden boxes "No Version Check" and "USBモードで実行".
    bool noVersionCheck() const;
    void setNoVersionCheck(bool ticked);
    bool useUsbOta() const;
    void setUseUsbOta(bool ticked);

    // Where a device change reads the ports from, and the configured port that
    // stays listed while it exists.
    void setPortSource(SystemPortList system, const QString& configuredPort);
    DeviceWatcher& deviceWatcher() { return *watcher_; }
    // Empties the list, enumerates again and refills it. Nothing is selected
    // afterwards and STComPort keeps its text.
    void refillPorts();

  private:
    void updateOpenButton();
    static void tickItem(QButtonGroup* group, int item);

    QLabel* label1_;
    QLabel* stComPort_;
    QListWidget* lbComPort_;
    QGroupBox* rgComSpeed_;
    QButtonGroup* speedGroup_;
    QGroupBox* rgParity_;
    QButtonGroup* parityGroup_;
    QPushButton* button1_;
    QPushButton* okBtn_;
    QPushButton* cancelBtn_;
    QCheckBox* cbNoVerCheck_;
    QCheckBox* useUsbOta_;
    DeviceWatcher* watcher_;
    SystemPortList system_;
    QString configuredPort_;
};

}  // namespace ifb
