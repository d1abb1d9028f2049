#include "channel/gui/TimeoutsWindow.h"

#include "base/IniFile.h"
#include "base/Language.h"
#include "channel/Link.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrune {

namespace {

// Language texts of the captions.
// texts: 40, 230, 231, 238, 239, 740
enum Text : int32_t {
    TextCaption = 40,
    TextApply = 230,
    TextCancel = 231,
    TextOk = 238,
    TextFactoryDefaults = 239,
    TextFirstRow = 700,     // row i: 700 + i
    TextFirstToolTip = 720, // row i: 720 + i
    TextUnit = 740,
    TextNotWritten = 741,
};

TimeoutsWindow* g_instance = nullptr;

QString rowName(const char* prefix, int row) {
    return QLatin1String(prefix) + QLatin1Char('(') + QString::number(row) + QLatin1Char(')');
}

} // namespace

const std::array<TimeoutRow, TimeoutRowCount>& timeoutRows() {
    static const std::array<TimeoutRow, TimeoutRowCount> rows{{
        {"IP", "ScanTimeOut", "1000"},       // device discovery
        {"IP", "UDPTimeOut", "1000"},        // setup over UDP
        {"IP", "ResetTimeOut", "10000"},     // gateway restart and console wake-up
        {"IP", "WriteTimeOut", "15000"},     // writing the setup record
        {"IP", "OpenTimeOut", "5000"},       // TCP connect of the meter-features link
        {"IP", "SerialTimeOut", "1000"},     // setup over the serial console
        {"IP", "BusDelay", "50"},            // bus delay of the meter-features link
        {"IP", "BusTimeOut", "3000"},        // reply time-out of the meter-features link
        {"ModBus", "BusTimeOut", "3000"},    // reply time-out of the Modbus page
        {"MBusASCII", "BusTimeOut", "3000"}, // reply time-out of the ASCII page
    }};
    return rows;
}

QStringList readTimeoutTexts(const IniFile& ini) {
    QStringList texts;
    texts.reserve(TimeoutRowCount);
    for (const TimeoutRow& row : timeoutRows())
        texts.append(ini.read(QLatin1String(row.section), QLatin1String(row.key),
                              QLatin1String(row.defaultValue)));
    return texts;
}

QStringList factoryTimeoutTexts() {
    QStringList texts;
    texts.reserve(TimeoutRowCount);
    for (const TimeoutRow& row : timeoutRows())
        texts.append(QLatin1String(row.defaultValue));
    return texts;
}

bool writeTimeoutTexts(const IniFile& ini, const QStringList& texts) {
    const auto& rows = timeoutRows();
    for (int i = 0; i < TimeoutRowCount && i < texts.size(); ++i) {
        // The value is stored as typed, but a line break (pasted or set from
        // outside) would start a line of its own in the file and could forge
        // an entry; it becomes a blank instead.
        QString value = texts[i];
        value.replace(QLatin1Char('\r'), QLatin1Char(' '));
        value.replace(QLatin1Char('\n'), QLatin1Char(' '));
        const TimeoutRow& row = rows[static_cast<size_t>(i)];
        if (!ini.write(QLatin1String(row.section), QLatin1String(row.key), value))
            return false;
    }
    return true;
}

TimeoutButtons addTimeoutButtons(QWidget* dialog, QLayout* content) {
    const auto button = [dialog](const char* name) {
        auto* b = new QPushButton(dialog);
        b->setObjectName(QLatin1String(name));
        return b;
    };
    TimeoutButtons b;
    b.ok = button("Command_OK");
    b.apply = button("Command_Apply");
    b.cancel = button("Command_Cancel");
    b.defaults = button("Command_FactoryDefaults");
    auto* row = new QHBoxLayout;
    row->addWidget(b.defaults);
    row->addStretch(1);
    row->addWidget(b.ok);
    row->addWidget(b.apply);
    row->addWidget(b.cancel);
    auto* layout = new QVBoxLayout(dialog);
    layout->addLayout(content);
    layout->addStretch(1);
    layout->addLayout(row);
    QObject::connect(b.cancel, &QPushButton::clicked, dialog, &QWidget::close);
    return b;
}

void showTimeoutsWriteFailure(QWidget* dialog, const QString& objectName) {
    // Non-blocking, so the user can correct the file's permissions and try again.
    QString text = getText(TextNotWritten) + QLatin1Char('\n') + programIni().path();
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    auto* box =
        new QMessageBox(QMessageBox::Warning, dialog->windowTitle(), text, QMessageBox::Ok, dialog);
    box->setObjectName(objectName);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

// ---- the window ---------------------------------------------------------------------

TimeoutsWindow* TimeoutsWindow::showWindow(QWidget* parent) {
    if (!g_instance) {
        g_instance = new TimeoutsWindow(parent);
        // Loading the window: captions, then the stored values.
        g_instance->readAllTimeouts();
    }
    g_instance->show();
    g_instance->raise();
    g_instance->activateWindow();
    return g_instance;
}

TimeoutsWindow* TimeoutsWindow::instance() {
    return g_instance;
}

TimeoutsWindow::TimeoutsWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("Kestrune_Timeouts"));
    setAttribute(Qt::WA_DeleteOnClose);
    buildControls();
    setCaptions();
}

TimeoutsWindow::~TimeoutsWindow() {
    if (g_instance == this)
        g_instance = nullptr;
}

void TimeoutsWindow::buildControls() {
    auto* grid = new QGridLayout;
    for (int i = 0; i < TimeoutRowCount; ++i) {
        auto* label = new QLabel(this);
        label->setObjectName(rowName("Label_Timeout", i));
        auto* text = new QLineEdit(this);
        text->setObjectName(rowName("Text_Timeout", i));
        text->setAlignment(Qt::AlignRight);
        label->setBuddy(text);
        auto* unit = new QLabel(this);
        unit->setObjectName(rowName("Label_Unit", i));
        grid->addWidget(label, i, 0);
        grid->addWidget(text, i, 1);
        grid->addWidget(unit, i, 2);
        m_labels[static_cast<size_t>(i)] = label;
        m_fields[static_cast<size_t>(i)] = text;
        m_units[static_cast<size_t>(i)] = unit;
    }
    grid->setColumnStretch(1, 1);

    const TimeoutButtons buttons = addTimeoutButtons(this, grid);
    m_ok = buttons.ok;
    m_apply = buttons.apply;
    m_cancel = buttons.cancel;
    m_defaults = buttons.defaults;
    connect(m_ok, &QPushButton::clicked, this, &TimeoutsWindow::okClicked);
    connect(m_apply, &QPushButton::clicked, this, &TimeoutsWindow::applyClicked);
    connect(m_defaults, &QPushButton::clicked, this, &TimeoutsWindow::factoryDefaults);
}

void TimeoutsWindow::setCaptions() {
    setWindowTitle(getText(TextCaption));
    m_ok->setText(getText(TextOk));
    m_apply->setText(getText(TextApply));
    m_cancel->setText(getText(TextCancel));
    m_defaults->setText(getText(TextFactoryDefaults));
    const QString unit = getText(TextUnit);
    for (int i = 0; i < TimeoutRowCount; ++i) { // texts: 700-709, 720-729
        const auto at = static_cast<size_t>(i);
        m_labels[at]->setText(getText(TextFirstRow + i));
        const QString tip = getText(TextFirstToolTip + i);
        m_labels[at]->setToolTip(tip);
        m_fields[at]->setToolTip(tip);
        m_units[at]->setText(unit);
    }
}

void TimeoutsWindow::readAllTimeouts() {
    const QStringList texts = readTimeoutTexts(programIni());
    for (int i = 0; i < TimeoutRowCount; ++i)
        m_fields[static_cast<size_t>(i)]->setText(texts[i]);
}

bool TimeoutsWindow::writeAllTimeouts() {
    QStringList texts;
    texts.reserve(TimeoutRowCount);
    for (const QLineEdit* field : m_fields)
        texts.append(field->text());
    const bool written = writeTimeoutTexts(programIni(), texts);
    // The link takes what the file now holds, whatever part of it was written.
    Link& l = link();
    l.loadTimeouts(timeoutSectionForTask(l.selectedTask()));
    if (!written)
        showWriteFailure();
    return written;
}

void TimeoutsWindow::factoryDefaults() {
    const QStringList texts = factoryTimeoutTexts();
    for (int i = 0; i < TimeoutRowCount; ++i)
        m_fields[static_cast<size_t>(i)]->setText(texts[i]);
}

void TimeoutsWindow::okClicked() {
    // A value that could not be stored must not vanish with the window.
    if (writeAllTimeouts())
        close();
}

void TimeoutsWindow::applyClicked() {
    if (writeAllTimeouts())
        readAllTimeouts();
}

void TimeoutsWindow::showWriteFailure() {
    showTimeoutsWriteFailure(this, QStringLiteral("TimeoutsWriteFailure"));
}

} // namespace kestrune
