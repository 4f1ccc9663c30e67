#include "OpenCom1Dlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "DeviceWatcher.h"
#include "SystemShell.h"
#include "UiStyle.h"

namespace ifb {
namespace {

QGroupBox* radioGroup(QWidget* parent, const char* name, const QString& title, const QStringList& texts,
                      QButtonGroup*& group) {
    auto* box = new QGroupBox(title, parent);
    box->setObjectName(QLatin1String(name));
    group = new QButtonGroup(box);
    auto* layout = new QVBoxLayout(box);
    layout->setSpacing(2);
    for (int i = 0; i < texts.size(); ++i) {
        auto* radio = new QRadioButton(texts.at(i), box);
        radio->setObjectName(QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(i));
        group->addButton(radio, i);
        layout->addWidget(radio);
    }
    layout->addStretch();
    return box;
}

}  // namespace

TOpenCom1Dlg::TOpenCom1Dlg(QWidget* owner) : CentredDialog(owner), system_(SystemPorts()) {
    setObjectName(QStringLiteral("OpenCom1Dlg"));
    setWindowTitle(QStringLiteral(" COM Port"));
    ApplyUiFont(this);

    label1_ = new QLabel(QStringLiteral("COM Port"), this);
    label1_->setObjectName(QStringLiteral("Label1"));
    stComPort_ = new QLabel(this);
    stComPort_->setObjectName(QStringLiteral("STComPort"));
    stComPort_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    stComPort_->setMinimumWidth(260);
    lbComPort_ = new QListWidget(this);
    lbComPort_->setObjectName(QStringLiteral("LBComPort"));
    lbComPort_->setSelectionMode(QAbstractItemView::SingleSelection);
    lbComPort_->setMinimumHeight(110);

    rgComSpeed_ =
        radioGroup(this, "RGComSpeed", QStringLiteral("Speed"),
                   {QStringLiteral("9600bps"), QStringLiteral("19.2kbps"), QStringLiteral("38.4kbps"),
                    QStringLiteral("57.6kbps"), QStringLiteral("115.2kbps")},
                   speedGroup_);
    rgParity_ =
        radioGroup(this, "RGParity", QStringLiteral("Parity"),
                   {QStringLiteral("なし"), QStringLiteral("奇数"), QStringLiteral("偶数")}, parityGroup_);

    button1_ = new QPushButton(QStringLiteral("ポートの確認..."), this);
    button1_->setObjectName(QStringLiteral("Button1"));
    button1_->setAutoDefault(false);
    okBtn_ = new QPushButton(QStringLiteral("Open"), this);
    okBtn_->setObjectName(QStringLiteral("OKBtn"));
    okBtn_->setDefault(true);
    cancelBtn_ = new QPushButton(QStringLiteral("キャンセル"), this);
    cancelBtn_->setObjectName(QStringLiteral("CancelBtn"));
    cancelBtn_->setAutoDefault(false);

    cbNoVerCheck_ = new QCheckBox(QStringLiteral("No Version Check"), this);
    cbNoVerCheck_->setObjectName(QStringLiteral("CBNoVerCheck"));
    cbNoVerCheck_->setEnabled(false);
    cbNoVerCheck_->hide();
    useUsbOta_ = new QCheckBox(QStringLiteral("USBモードで実行"), this);
    useUsbOta_->setObjectName(QStringLiteral("USE_USBOTA"));
    useUsbOta_->hide();

    auto* top = new QHBoxLayout;
    top->addWidget(label1_);
    top->addWidget(stComPort_, 1);
    auto* groups = new QHBoxLayout;
    groups->addWidget(rgComSpeed_, 1);
    groups->addWidget(rgParity_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(button1_);
    buttons->addStretch();
    buttons->addWidget(okBtn_);
    buttons->addWidget(cancelBtn_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(lbComPort_, 1);
    layout->addLayout(groups);
    layout->addLayout(buttons);

    watcher_ = new DeviceWatcher(this);

    connect(lbComPort_, &QListWidget::itemSelectionChanged, this, [this] {
        const int row = selectedIndex();
        if (row >= 0) stComPort_->setText(lbComPort_->item(row)->text());
    });
    connect(button1_, &QPushButton::clicked, this, [] { systemShell().openDeviceManager(); });
    connect(okBtn_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelBtn_, &QPushButton::clicked, this, &QDialog::reject);
    connect(watcher_, &DeviceWatcher::devicesChanged, this, &TOpenCom1Dlg::refillPorts);

    setSpeedItem(1);
    setParityItem(0);
    updateOpenButton();
}

TOpenCom1Dlg::~TOpenCom1Dlg() = default;

void TOpenCom1Dlg::setItems(const QStringList& items) {
    const QSignalBlocker block(lbComPort_);
    lbComPort_->clear();
    lbComPort_->addItems(items);
    lbComPort_->setCurrentRow(-1);
    lbComPort_->clearSelection();
    updateOpenButton();
}

QStringList TOpenCom1Dlg::items() const {
    QStringList out;
    for (int i = 0; i < lbComPort_->count(); ++i) out.append(lbComPort_->item(i)->text());
    return out;
}

void TOpenCom1Dlg::setSelectedIndex(int index) {
    if (index >= 0 && index < lbComPort_->count()) {
        lbComPort_->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
    } else {
        lbComPort_->clearSelection();
    }
}

int TOpenCom1Dlg::selectedIndex() const {
    const QList<QListWidgetItem*> selected = lbComPort_->selectedItems();
    return selected.isEmpty() ? -1 : lbComPort_->row(selected.first());
}

QString TOpenCom1Dlg::portText() const {
    return stComPort_->text();
}

void TOpenCom1Dlg::tickItem(QButtonGroup* group, int item) {
    if (QAbstractButton* button = group->button(item)) {
        button->setChecked(true);
        return;
    }
    group->setExclusive(false);
    for (QAbstractButton* button : group->buttons()) button->setChecked(false);
    group->setExclusive(true);
}

void TOpenCom1Dlg::setSpeedItem(int item) {
    tickItem(speedGroup_, item);
}

int TOpenCom1Dlg::speedItem() const {
    return speedGroup_->checkedId();
}

void TOpenCom1Dlg::setParityItem(int item) {
    tickItem(parityGroup_, item);
}

int TOpenCom1Dlg::parityItem() const {
    return parityGroup_->checkedId();
}

void TOpenCom1Dlg::setParityEnabled(bool enabled) {
    rgParity_->setEnabled(enabled);
}

bool TOpenCom1Dlg::noVersionCheck() const {
    return cbNoVerCheck_->isChecked();
}

void TOpenCom1Dlg::setNoVersionCheck(bool ticked) {
    cbNoVerCheck_->setChecked(ticked);
}

bool TOpenCom1Dlg::useUsbOta() const {
    return useUsbOta_->isChecked();
}

void TOpenCom1Dlg::setUseUsbOta(bool ticked) {
    useUsbOta_->setChecked(ticked);
}

void TOpenCom1Dlg::setPortSource(SystemPortList system, const QString& configuredPort) {
    system_ = std::move(system);
    configuredPort_ = configuredPort;
}

void TOpenCom1Dlg::refillPorts() {
    setItems(QStringList());
    TEnumCom ports(system_);
    ports.Enumerate(configuredPort_);
    setItems(ports.items());
}

void TOpenCom1Dlg::updateOpenButton() {
    okBtn_->setEnabled(lbComPort_->count() > 0);
}

}  // namespace ifb
