#include "ModbusPage.h"

#include "base/ProgramDir.h"
#include "channel/Link.h"
#include "modbus/ModbusClient.h"
#include "modbus/SheetFile.h"
#include "modbus/gui/EveryOrderPanel.h"
#include "wizard/Navigation.h"
#include "wizard/gui/WizardText.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

namespace kestrune {

namespace {

// texts: 115, 1000-1013, 1016-1018, 1034-1036, 1039
constexpr int TextHeader = 115;
constexpr int TextSlaveAddress = 1000;
constexpr int TextFunction = 1001;
constexpr int TextFirstRegister = 1002;
constexpr int TextCount = 1003;
constexpr int TextProtocol = 1004;
constexpr int TextRtu = 1005;
constexpr int TextTcp = 1006;
constexpr int TextAutoRegister = 1007;
constexpr int TextRegister = 1008;
constexpr int TextDataType = 1009;
constexpr int TextFormat = 1010;
constexpr int TextByte = 1011;
constexpr int TextValue = 1012;
constexpr int TextDescription = 1013;
constexpr int TextSave = 1016;
constexpr int TextGet = 1017;
constexpr int TextClear = 1018;
constexpr int TextEveryOrder = 1034;
constexpr int TextEveryOrderButton = 1035;
constexpr int TextNotInReply = 1036;
constexpr int TextRegisterWord = 1039;
constexpr int TextSaveSheetTitle = 2643; // texts: 2643-2644
constexpr int TextGetSheetTitle = 2644;

using wizardtext::indexed;
using wizardtext::shown;
using wizardtext::text;

// The page in twips. Three rows of read parameters, the frame of the
// framing option beside them, the sheet's headings and six rows, then the
// result row (a shorter result label than other pages: three lines).
constexpr int ParameterTop = 765;
constexpr int ParameterStep = 360;
constexpr int ParameterHeight = 330;
constexpr int LabelLeft = 240;
constexpr int LabelWidth = 1380;
constexpr int BoxLeft = 1650;
constexpr int BoxWidth = 660;
constexpr int SecondLabelLeft = 2490;
constexpr int SecondLabelWidth = 1500;
constexpr int SecondBoxLeft = 3990;
constexpr int ProtocolLeft = 5700;
constexpr int ProtocolWidth = twips::WindowWidth - 240 - ProtocolLeft;

struct Column {
    int left;
    int width;
};
constexpr Column RegisterColumn{240, 720};
// The type box shows its longest names (CHAR16, DFLOAT) whole.
constexpr Column TypeColumn{1020, 1185};
constexpr Column FormatColumn{2265, 975};
constexpr Column ByteColumn{3300, 1170};
constexpr Column ValueColumn{4530, 1335};
constexpr Column DescriptionColumn{5925, 1080};
constexpr Column EveryOrderColumn{7035, 255};
constexpr int ColumnGap = 60;
constexpr int HeadingTop = ParameterTop + 3 * ParameterStep;
constexpr int HeadingHeight = 255;
constexpr int SheetTop = HeadingTop + HeadingHeight + 15;
constexpr int SheetStep = 315;
constexpr int SheetRowHeight = 300;
constexpr int ResultHeight = 840;
constexpr int ResultTop = twips::ButtonRowTop - ResultHeight;

const QColor White(255, 255, 255);
const QColor Yellow(255, 255, 0);

// Keeps the wizard window from taking input while a read waits and gives
// the focus back to where it was. A window already disabled (a read inside
// another exchange's wait) is left as it is.
class InputBlock {
public:
    explicit InputBlock(QWidget* window)
        : m_window(window), m_focus(QApplication::focusWidget()),
          m_wasEnabled(window->isEnabled()) {
        m_window->setEnabled(false);
    }
    ~InputBlock() {
        if (!m_window || !m_wasEnabled)
            return;
        m_window->setEnabled(true);
        if (m_focus && m_focus->isEnabled() && m_focus->isVisible())
            m_focus->setFocus(Qt::OtherFocusReason);
    }
    InputBlock(const InputBlock&) = delete;
    InputBlock& operator=(const InputBlock&) = delete;

private:
    QPointer<QWidget> m_window;
    QPointer<QWidget> m_focus;
    bool m_wasEnabled;
};

void setTextKeepingCursor(QLineEdit* box, const QString& text) {
    if (box->text() != text)
        box->setText(text);
}

QStringList itemsOf(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

} // namespace

ModbusPage::ModbusPage(WizardFrame& frame) : ReadPage(page::Modbus, frame) {}

QString ModbusPage::headerText() const {
    return text(TextHeader);
}

void ModbusPage::build() {
    buildParameters();
    buildSheet();
    buildResultRow({"lblModbusResult", "lblModbusResultText", "Command_ModBus_MeterFeature_Read",
                    "Command_ModBus_MeterFeature_Debug"},
                   ResultHeight);
    buildCommands();
}

void ModbusPage::buildParameters() {
    const PageLayout& l = pageLayout();
    auto label = [&](const char* name, int text, int left, int top, int width) {
        QLabel* lbl = l.addLabel(this, QLatin1String(name), left, top, width);
        l.place(lbl, left, top, width, ParameterHeight);
        m_labels.append({lbl, text});
        return lbl;
    };
    auto box = [&](const char* name, int left, int top) {
        QLineEdit* b = l.addLineEdit(this, QLatin1String(name), left, top, BoxWidth);
        l.place(b, left, top, BoxWidth, ParameterHeight);
        return b;
    };
    const int row1 = ParameterTop;
    const int row2 = ParameterTop + ParameterStep;
    const int row3 = ParameterTop + 2 * ParameterStep;
    label("lblModbusSlaveAddress", TextSlaveAddress, LabelLeft, row1, LabelWidth);
    m_slave = box("txtModbusSlaveAddress", BoxLeft, row1);
    label("lblModbusFunction", TextFunction, SecondLabelLeft, row1, SecondLabelWidth);
    m_function =
        l.addCombo(this, QStringLiteral("cboModbusFunction"), SecondBoxLeft, row1, BoxWidth);
    l.place(m_function, SecondBoxLeft, row1, BoxWidth, ParameterHeight);
    label("lblModbusFirstRegister", TextFirstRegister, LabelLeft, row2, LabelWidth);
    m_first = box("txtModbusFirstRegister", BoxLeft, row2);
    label("lblModbusNoOfRegisters", TextCount, SecondLabelLeft, row2, SecondLabelWidth);
    m_count = box("txtModbusNoOfRegisters", SecondBoxLeft, row2);
    m_auto = l.addCheckBox(this, QStringLiteral("ChkModbusAutoRegister"), LabelLeft, row3,
                           LabelWidth + BoxWidth);

    // The framing, whichever link carries the request.
    m_protocol = new QGroupBox(this);
    m_protocol->setObjectName(QStringLiteral("fraModbusProtocol"));
    l.place(m_protocol, ProtocolLeft, row1 - 60, ProtocolWidth, 3 * ParameterStep);
    m_rtu = l.addOption(m_protocol, indexed("optModBusRtuTcp", 0), 180, 360, ProtocolWidth - 240);
    m_tcp = l.addOption(m_protocol, indexed("optModBusRtuTcp", 1), 180, 705, ProtocolWidth - 240);

    for (QLineEdit* b : {m_first, m_count})
        b->installEventFilter(this);
    connect(m_slave, &QLineEdit::textChanged, this, [this](const QString& t) {
        if (!m_mirroring)
            writeBack(m_slave, m_sheet.setSlaveText(t));
    });
    connect(m_first, &QLineEdit::textChanged, this, [this](const QString& t) {
        if (!m_mirroring)
            writeBack(m_first, m_sheet.setFirstText(t));
    });
    connect(m_count, &QLineEdit::textChanged, this, [this](const QString& t) {
        if (!m_mirroring)
            writeBack(m_count, m_sheet.setCountText(t));
    });
    connect(m_function, &QComboBox::currentIndexChanged, this, [this](int position) {
        if (!m_mirroring)
            m_sheet.setFunctionPosition(position);
    });
    connect(m_rtu, &QRadioButton::toggled, this, [this](bool on) {
        if (!m_mirroring && on)
            m_sheet.setFraming(modbus::Framing::Rtu);
    });
    connect(m_tcp, &QRadioButton::toggled, this, [this](bool on) {
        if (!m_mirroring && on)
            m_sheet.setFraming(modbus::Framing::Tcp);
    });
    // Only the register boxes follow the box at once; nothing is renumbered
    // before the next refresh.
    connect(m_auto, &QCheckBox::clicked, this, [this](bool checked) {
        m_sheet.setAutoRegister(checked);
        showSheet();
    });
}

void ModbusPage::buildSheet() {
    const PageLayout& l = pageLayout();
    const std::pair<const char*, Column> headings[] = {
        {"lblModbusRegister", RegisterColumn}, {"lblModbusDataType", TypeColumn},
        {"lblModbusFormat", FormatColumn},     {"lblModbusByte", ByteColumn},
        {"lblModbusValue", ValueColumn},       {"lblModbusDescription", DescriptionColumn},
    };
    int headingText = TextRegister;
    for (const auto& [name, column] : headings) {
        // A heading may reach over the gap to the next column.
        const int width = column.width + ColumnGap;
        QLabel* heading = l.addLabel(this, QLatin1String(name), column.left, HeadingTop, width);
        l.place(heading, column.left, HeadingTop, width, HeadingHeight);
        heading->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
        m_labels.append({heading, headingText++});
    }

    for (int row = 0; row < modbus::SheetRowCount; ++row) {
        const int top = SheetTop + row * SheetStep;
        Row& r = m_rows[size_t(row)];
        auto place = [&](QWidget* w, const Column& c) {
            l.place(w, c.left, top, c.width, SheetRowHeight);
        };
        r.registerBox = new QLineEdit(this);
        r.registerBox->setObjectName(indexed("txtModbusRegister", row));
        place(r.registerBox, RegisterColumn);
        r.type = new QComboBox(this);
        r.type->setObjectName(indexed("cboModbusDatatype", row));
        place(r.type, TypeColumn);
        r.order = new QComboBox(this);
        r.order->setObjectName(indexed("cboModbusFormat", row));
        place(r.order, FormatColumn);
        r.bytes = new QLineEdit(this);
        r.bytes->setObjectName(indexed("txtModbusByte", row));
        r.bytes->setReadOnly(true);
        place(r.bytes, ByteColumn);
        r.value = new QLineEdit(this);
        r.value->setObjectName(indexed("txtModbusValue", row));
        r.value->setReadOnly(true);
        place(r.value, ValueColumn);
        r.description = new QLineEdit(this);
        r.description->setObjectName(indexed("txtModbusDescription", row));
        place(r.description, DescriptionColumn);
        r.everyOrder = new QToolButton(this);
        r.everyOrder->setObjectName(indexed("cmdModbusEveryOrder", row));
        r.everyOrder->setCheckable(true);
        r.everyOrder->setText(QStringLiteral("\u2261"));
        place(r.everyOrder, EveryOrderColumn);
        r.registerBox->installEventFilter(this);
        connectRow(row);
    }

    m_panel = new EveryOrderPanel(this);
    connect(m_panel, &EveryOrderPanel::orderChosen, this, [this](int row, int order) {
        m_sheet.chooseOrder(row, order);
        showSheet();
    });
    connect(m_panel, &EveryOrderPanel::closed, this, [this] {
        m_panelRow = -1;
        showEveryOrderPanel();
    });
}

void ModbusPage::connectRow(int row) {
    Row& r = m_rows[size_t(row)];
    connect(r.type, &QComboBox::activated, this, [this, row](int type) {
        m_sheet.chooseType(row, type);
        showSheet();
    });
    connect(r.order, &QComboBox::activated, this, [this, row](int order) {
        m_sheet.chooseOrder(row, order);
        showSheet();
    });
    connect(r.registerBox, &QLineEdit::textChanged, this, [this, row](const QString& t) {
        if (!m_mirroring)
            writeBack(m_rows[size_t(row)].registerBox, m_sheet.setRegisterText(row, t));
    });
    connect(r.description, &QLineEdit::textChanged, this, [this, row](const QString& t) {
        if (!m_mirroring)
            m_sheet.setDescription(row, t);
    });
    connect(r.everyOrder, &QToolButton::clicked, this, [this, row] { toggleEveryOrderPanel(row); });
}

void ModbusPage::buildCommands() {
    const PageLayout& l = pageLayout();
    const int top = twips::ButtonRowTop;
    m_save = l.addButton(this, QStringLiteral("Command_ModBus_MeterFeature_Save"), 1560, top, 1000);
    m_get = l.addButton(this, QStringLiteral("Command_ModBus_MeterFeature_Get"), 2640, top, 1000);
    m_clear =
        l.addButton(this, QStringLiteral("Command_ModBus_MeterFeature_Clear"), 3720, top, 1000);
    connect(readButton(), &QPushButton::clicked, this, [this] { read(); });
    connect(m_save, &QPushButton::clicked, this, [this] { saveSheet(); });
    connect(m_get, &QPushButton::clicked, this, [this] { getSheet(); });
    connect(m_clear, &QPushButton::clicked, this, [this] { clearSheet(); });
}

void ModbusPage::prepare() {
    m_function->addItems({QStringLiteral("3"), QStringLiteral("4")});
    for (Row& r : m_rows)
        r.type->addItems(modbus::dataTypeNames());
    // A read that works as soon as the link is open: slave 1, ten
    // registers from 0, numbered from the first register.
    m_sheet.setSlaveText(QStringLiteral("1"));
    m_sheet.setFirstText(QStringLiteral("0"));
    m_sheet.setCountText(QStringLiteral("10"));
    m_sheet.setAutoRegister(true);
    showSheet();
}

void ModbusPage::setCaptions() {
    ReadPage::setCaptions();
    for (const auto& [label, number] : std::as_const(m_labels))
        label->setText(text(number));
    m_protocol->setTitle(text(TextProtocol));
    m_rtu->setText(text(TextRtu));
    m_tcp->setText(text(TextTcp));
    m_auto->setText(text(TextAutoRegister));
    m_save->setText(text(TextSave));
    m_get->setText(text(TextGet));
    m_clear->setText(text(TextClear));
    for (Row& r : m_rows)
        r.everyOrder->setToolTip(text(TextEveryOrderButton));
    m_panel->setCaptions();
}

bool ModbusPage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && !m_mirroring) {
        if (watched == m_first || watched == m_count) {
            m_sheet.readRangeEdited();
            showSheet();
        } else {
            for (int row = 0; row < modbus::SheetRowCount; ++row) {
                if (watched == m_rows[size_t(row)].registerBox) {
                    m_sheet.registerEdited(row);
                    showSheet();
                }
            }
        }
    }
    return ReadPage::eventFilter(watched, event);
}

// ---- Commands -----------------------------------------------------------------------

void ModbusPage::read() {
    Link& link = frame().link();
    // Pressed inside the wait of another exchange (the continuous poll, a
    // click handled meanwhile): that exchange goes on, nothing changes here.
    if (!link.isOpen() || link.isWaiting())
        return;
    QPointer<ModbusPage> self(this);
    modbus::ModbusClient client(link);
    modbus::ReadResult result;
    {
        InputBlock block(frame().mainWindow());
        result = client.read(m_sheet.readParameters());
    }
    if (!self)
        return; // the wizard closed during the wait
    if (result.showsText())
        showResult(result.text, result.tone);
    m_sheet.applyReadResult(result);
    showSheet();
}

void ModbusPage::saveSheet() {
    QFileDialog dialog(frame().mainWindow(), text(TextSaveSheetTitle));
    dialog.setObjectName(QStringLiteral("dlgWizard"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({wizardtext::fileFilter(wizardtext::TextTextFiles, " (*.csv)"),
                           wizardtext::fileFilter(wizardtext::TextAllFiles, " (*.*)")});
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const modbus::FileReport report =
        modbus::saveSheetFile(dialog.selectedFiles().first(), m_sheet);
    if (!report.ok)
        QMessageBox::critical(frame().mainWindow(), wizardtext::saveErrorTitle(), report.text);
}

void ModbusPage::getSheet() {
    QFileDialog dialog(frame().mainWindow(), text(TextGetSheetTitle), programDir());
    dialog.setObjectName(QStringLiteral("dlgWizard"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({wizardtext::fileFilter(wizardtext::TextCommaSeparatedFiles, " (*.csv)"),
                           wizardtext::fileFilter(wizardtext::TextAllFiles, " (*.*)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const modbus::FileReport report =
        modbus::loadSheetFile(dialog.selectedFiles().first(), m_sheet);
    if (report.unreadable) {
        QMessageBox::critical(frame().mainWindow(), wizardtext::openErrorTitle(), report.text);
        return;
    }
    showResult(report.text, report.tone);
    showSheet();
}

void ModbusPage::clearSheet() {
    m_sheet.clear();
    showSheet();
}

// ---- The controls from the sheet ------------------------------------------------------

void ModbusPage::writeBack(QLineEdit* box, const QString& checked) {
    if (box->text() == checked)
        return;
    m_mirroring = true;
    box->setText(checked);
    m_mirroring = false;
}

void ModbusPage::showResult(const QString& message, ResultTone tone) {
    setResultText(resultText(), shown(message), resultcolor::of(tone));
    // A long report (what a sheet file skipped) may not fit the label.
    resultText()->setToolTip(shown(message));
}

void ModbusPage::showSheet() {
    m_mirroring = true;
    setTextKeepingCursor(m_slave, m_sheet.slaveText());
    setTextKeepingCursor(m_first, m_sheet.firstText());
    setTextKeepingCursor(m_count, m_sheet.countText());
    m_function->setCurrentIndex(m_sheet.functionPosition());
    (m_sheet.framing() == modbus::Framing::Tcp ? m_tcp : m_rtu)->setChecked(true);
    m_auto->setChecked(m_sheet.autoRegister());
    for (int row = 0; row < modbus::SheetRowCount; ++row)
        showRow(row);
    showEveryOrderPanel();
    m_mirroring = false;
}

void ModbusPage::showRow(int row) {
    const modbus::SheetRow& s = m_sheet.row(row);
    Row& r = m_rows[size_t(row)];
    r.type->setCurrentIndex(s.type);
    const QStringList orders = modbus::byteOrderNames(s.type);
    if (itemsOf(r.order) != orders) {
        r.order->clear();
        r.order->addItems(orders);
    }
    r.order->setCurrentIndex(s.order);
    setTextKeepingCursor(r.registerBox, s.registerText);
    r.registerBox->setEnabled(!m_sheet.autoRegister());
    QPalette pal = r.registerBox->palette();
    pal.setColor(QPalette::Base, s.outOfRange ? Yellow : White);
    r.registerBox->setPalette(pal);
    setTextKeepingCursor(r.bytes, s.byteText);
    setTextKeepingCursor(r.value, s.valueText);
    // Why no value shows although the register has bytes.
    r.value->setPlaceholderText(s.note);
    setTextKeepingCursor(r.description, s.description);

    const QList<modbus::OrderValue> values = m_sheet.valuesInEveryOrder(row);
    const QString note = rowNote(row, values);
    const QString tip = everyOrderToolTip(values, s.order, note);
    r.bytes->setToolTip(tip);
    r.value->setToolTip(tip);
}

QString ModbusPage::rowNote(int row, const QList<modbus::OrderValue>& values) const {
    const modbus::SheetRow& s = m_sheet.row(row);
    if (!s.note.isEmpty() || s.registerText.isEmpty())
        return s.note;
    const bool noValue = std::all_of(values.cbegin(), values.cend(),
                                     [](const modbus::OrderValue& v) { return v.value.isEmpty(); });
    return noValue ? text(TextNotInReply) : QString();
}

void ModbusPage::toggleEveryOrderPanel(int row) {
    m_panelRow = m_panelRow == row ? -1 : row;
    showEveryOrderPanel();
}

void ModbusPage::showEveryOrderPanel() {
    const int row = m_panelRow;
    for (int i = 0; i < modbus::SheetRowCount; ++i)
        m_rows[size_t(i)].everyOrder->setChecked(i == row);
    if (row < 0) {
        m_panel->close();
        return;
    }
    const modbus::SheetRow& s = m_sheet.row(row);
    QString title = text(TextEveryOrder) + QStringLiteral(": ") + modbus::dataTypeName(s.type);
    if (!s.registerText.isEmpty())
        title += QStringLiteral(", ") + text(TextRegisterWord) + QLatin1Char(' ') + s.registerText;
    const QList<modbus::OrderValue> values = m_sheet.valuesInEveryOrder(row);
    const QString note = rowNote(row, values);
    m_panel->showRow(row, title, values, s.order, note);
    placeEveryOrderPanel(row);
}

void ModbusPage::placeEveryOrderPanel(int row) {
    const PageLayout& l = pageLayout();
    const int left = l.x(FormatColumn.left);
    const int width = l.x(EveryOrderColumn.left + EveryOrderColumn.width) - left;
    const int height = m_panel->heightForWidth(width) > 0 ? m_panel->heightForWidth(width)
                                                          : m_panel->sizeHint().height();
    const int rowTop = l.y(SheetTop + row * SheetStep);
    const int rowBottom = l.y(SheetTop + row * SheetStep + SheetRowHeight);
    // Below the row when it fits above the result row, else above it.
    const int below = rowBottom + 2;
    const int top = below + height <= l.y(ResultTop) ? below : rowTop - 2 - height;
    m_panel->setGeometry(left, std::max(top, 0), width, height);
}

} // namespace kestrune
