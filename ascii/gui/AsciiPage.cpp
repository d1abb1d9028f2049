#include "AsciiPage.h"

#include "ascii/AsciiClient.h"
#include "base/ProgramDir.h"
#include "base/TextUtil.h"
#include "channel/Link.h"
#include "wizard/Navigation.h"
#include "wizard/gui/WizardText.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>

namespace kestrune {

namespace {

// texts: 1100-1116, 1129
constexpr int TextHeader = 1100;
constexpr int TextMultidrop = 1101;
constexpr int TextStation = 1102;
constexpr int TextProtocolFrame = 1103;
constexpr int TextProtocol = 1104;
constexpr int TextFileFrame = 1105;
constexpr int TextFirstLayout = 1106; // 1106-1108, one a layout
constexpr int TextGetFile = 1109;
constexpr int TextResult = 1110;
constexpr int TextTagName = 1111;
constexpr int TextValue = 1112;
constexpr int TextRead = 1113;
constexpr int TextWrite = 1114;
constexpr int TextDebug = 1115;
constexpr int TextSaveFile = 1116;
constexpr int TextTagNotSendable = 1129;
// Titles of the tag file dialogs (in English the load dialog's is the
// Modbus page's).
constexpr int TextGetFileTitle = 2645; // texts: 2645-2646
constexpr int TextSaveFileTitle = 2646;

using wizardtext::text;

// The protocol variants, the gateway's own names for them after their
// number: "0 - Standard", "1 - Standard incl. crc".
constexpr int TextFirstProtocol = 2620; // texts: 2620-2621
constexpr int ProtocolCount = 2;

// Layout of the page in twips, from the top of the page panel.
namespace at {
constexpr int Left = 240;
constexpr int Width = twips::WindowWidth - 2 * Left;
constexpr int FrameTop = 780;
constexpr int FrameHeight = 780;
constexpr int FrameRow = 330; // the first row inside a frame, below its caption
constexpr int OptionStep = 270;
constexpr int ProtocolLeft = 2760;
constexpr int FileTop = FrameTop + FrameHeight + 90;
constexpr int FileHeight = 1260;
constexpr int FileButtonWidth = 1500;
constexpr int TagTop = FileTop + FileHeight + 90;
constexpr int ValueTop = TagTop + 420;
constexpr int FieldLeft = 1500;
constexpr int WriteLeft = Left + 1200 + 120;
} // namespace at

} // namespace

AsciiPage::AsciiPage(WizardFrame& frame) : ReadPage(page::MBusAscii, frame) {}

QString AsciiPage::headerText() const {
    return text(TextHeader);
}

void AsciiPage::build() {
    buildStationAndProtocol();
    buildTagFile();
    buildTagAndValue();
    buildResultRow({"lblMBusAsciiResult", "lblMBusAsciiResultText",
                    "Command_MBusAscii_MeterFeature_Read", "Command_MBusAscii_MeterFeature_Debug",
                    TextResult, TextRead, TextDebug});
    connect(readButton(), &QPushButton::clicked, this, &AsciiPage::readTag);

    // Writing tags is not offered: the button is there, without an operation.
    m_write = pageLayout().addButton(this, QStringLiteral("Command_MBusAscii_MeterFeature_Write"),
                                     at::WriteLeft, twips::ButtonRowTop, 1200);
    m_write->setEnabled(false);
}

void AsciiPage::buildStationAndProtocol() {
    const PageLayout& l = pageLayout();
    m_multidrop = l.addFrame(this, QStringLiteral("fraMBusAsciiMultidrop"), at::Left, at::FrameTop,
                             at::ProtocolLeft - 120 - at::Left, at::FrameHeight);
    m_stationLabel =
        l.addLabel(m_multidrop, QStringLiteral("lblMBusAsciiStationID"), 120, at::FrameRow, 1140);
    m_station = l.addLineEdit(m_multidrop, QStringLiteral("txtMBusAsciiStationID"), 1320,
                              at::FrameRow, 900);
    m_station->setText(QStringLiteral("0"));
    connect(m_station, &QLineEdit::textChanged, this, &AsciiPage::stationEdited);

    m_protocolFrame =
        l.addFrame(this, QStringLiteral("fraMBusAsciiProtocol"), at::ProtocolLeft, at::FrameTop,
                   at::Left + at::Width - at::ProtocolLeft, at::FrameHeight);
    m_protocolLabel = l.addLabel(m_protocolFrame, QStringLiteral("lblMBusAsciiProtocol"), 120,
                                 at::FrameRow, 1000);
    m_protocol = l.addCombo(m_protocolFrame, QStringLiteral("cboMBusAsciiProtocol"), 1200,
                            at::FrameRow, at::Left + at::Width - at::ProtocolLeft - 1200 - 120);
    for (int p = 0; p < ProtocolCount; ++p)
        m_protocol->addItem(QString::number(p) + QStringLiteral(" - ") +
                            text(TextFirstProtocol + p));
    m_protocol->setCurrentIndex(ascii::ProtocolStandard);
}

void AsciiPage::buildTagFile() {
    const PageLayout& l = pageLayout();
    m_fileFrame = l.addFrame(this, QStringLiteral("fraMBusAsciiOpenFile"), at::Left, at::FileTop,
                             at::Width, at::FileHeight);
    for (int i = 0; i < 3; ++i)
        m_layouts[i] = l.addOption(m_fileFrame, wizardtext::indexed("optMBusAsciiFileFormat", i),
                                   120, at::FrameRow + i * at::OptionStep, 3000);
    m_layouts[0]->setChecked(true);
    const int buttonLeft = at::Width - 120 - at::FileButtonWidth;
    m_getFile = l.addButton(m_fileFrame, QStringLiteral("cmdMBusAsciiGetFile"), buttonLeft,
                            at::FrameRow, at::FileButtonWidth);
    m_saveFile = l.addButton(m_fileFrame, QStringLiteral("cmdMBusAsciiSaveFile"), buttonLeft,
                             at::FrameRow + 435, at::FileButtonWidth);
    connect(m_getFile, &QPushButton::clicked, this, &AsciiPage::getFile);
    connect(m_saveFile, &QPushButton::clicked, this, &AsciiPage::saveFile);
}

void AsciiPage::buildTagAndValue() {
    const PageLayout& l = pageLayout();
    const int fieldWidth = at::Left + at::Width - at::FieldLeft;
    m_tagLabel = l.addLabel(this, QStringLiteral("lblMBusAsciiTagName"), at::Left, at::TagTop,
                            at::FieldLeft - at::Left);
    m_tag = l.addCombo(this, QStringLiteral("cboMBusAsciiTagName"), at::FieldLeft, at::TagTop,
                       fieldWidth);
    m_tag->setEditable(true);
    m_tag->setInsertPolicy(QComboBox::NoInsert); // the list is the tag file's
    m_tag->setMaxVisibleItems(20);
    m_valueLabel = l.addLabel(this, QStringLiteral("lblMBusAsciiValue"), at::Left, at::ValueTop,
                              at::FieldLeft - at::Left);
    m_value = l.addLineEdit(this, QStringLiteral("txtMBusAsciiValue"), at::FieldLeft, at::ValueTop,
                            fieldWidth);
    m_value->setReadOnly(true); // it shows what the gateway answered; nothing is written
}

void AsciiPage::setCaptions() {
    ReadPage::setCaptions();
    m_multidrop->setTitle(text(TextMultidrop));
    m_stationLabel->setText(text(TextStation));
    m_protocolFrame->setTitle(text(TextProtocolFrame));
    m_protocolLabel->setText(text(TextProtocol));
    m_fileFrame->setTitle(text(TextFileFrame));
    for (int i = 0; i < 3; ++i)
        m_layouts[i]->setText(text(TextFirstLayout + i));
    m_getFile->setText(text(TextGetFile));
    m_saveFile->setText(text(TextSaveFile));
    m_tagLabel->setText(text(TextTagName));
    m_valueLabel->setText(text(TextValue));
    m_write->setText(text(TextWrite));
}

void AsciiPage::stationEdited(const QString& typed) {
    const QString normalised = ascii::normalisedStationText(typed);
    if (normalised != typed)
        m_station->setText(normalised);
}

void AsciiPage::readTag() {
    ascii::Client& client = ascii::client();
    // A poll tick or a second press while a read waits for its reply.
    if (client.isBusy() || frame().link().isWaiting())
        return;
    const std::optional<QByteArray> tag = ascii::tagNameBytes(m_tag->currentText());
    if (!tag) {
        setResultText(resultText(), text(TextTagNotSendable), resultcolor::Red);
        return;
    }
    // The station the request goes to, as the box shows it from now on.
    const int station = ascii::stationFromText(m_station->text());
    m_station->setText(QString::number(station));

    QPointer<AsciiPage> self(this);
    const ascii::ReadResult r = client.read({m_protocol->currentIndex(), m_station->text(), *tag});
    if (!self || r.status == ascii::ReadStatus::Busy)
        return;
    // A link that went away in the wait was shown as such (linkLost()).
    if (!r.linkLost)
        setResultText(resultText(), r.text, resultcolor::of(r.tone));
    if (r.replied())
        m_value->setText(fromBytes(r.value));
}

ascii::TagFileLayout AsciiPage::selectedLayout() const {
    for (int i = 0; i < 3; ++i) {
        if (m_layouts[i]->isChecked())
            return ascii::TagFileLayout(i);
    }
    return ascii::TagFileLayout::OpcItems;
}

QStringList AsciiPage::tagList() const {
    QStringList tags;
    tags.reserve(m_tag->count());
    for (int i = 0; i < m_tag->count(); ++i)
        tags << m_tag->itemText(i);
    return tags;
}

void AsciiPage::getFile() {
    const QString path = QFileDialog::getOpenFileName(
        frame().mainWindow(), text(TextGetFileTitle), programDir(),
        wizardtext::fileFilter(wizardtext::TextCommaSeparatedFiles, "(*.csv)") +
            QStringLiteral(";;") + wizardtext::fileFilter(wizardtext::TextAllFiles, "(*.*)"));
    if (path.isEmpty())
        return;
    const ascii::TagFileLoad load = ascii::loadTagFile(path, selectedLayout());
    if (!load.opened) {
        // The file could not be opened: the list stays as it was.
        QMessageBox::critical(frame().mainWindow(), wizardtext::openErrorTitle(),
                              load.error.message());
        return;
    }
    m_tag->clear();
    m_tag->addItems(load.reading.tags);
    if (!load.error.ok) {
        // A read error part way: the list keeps what was read before it.
        QMessageBox::critical(frame().mainWindow(), wizardtext::openErrorTitle(),
                              load.error.message());
        return;
    }
    setResultText(resultText(), wizardtext::shown(load.text), resultcolor::of(load.tone));
    if (m_tag->count() > 0)
        m_tag->setCurrentIndex(0);
}

void AsciiPage::saveFile() {
    const QString path = QFileDialog::getSaveFileName(
        frame().mainWindow(), text(TextSaveFileTitle), QString(),
        wizardtext::fileFilter(wizardtext::TextTextFiles, "(*.csv)") + QStringLiteral(";;") +
            wizardtext::fileFilter(wizardtext::TextAllFiles, "(*.*)"));
    if (path.isEmpty())
        return;
    const SaveResult saved = ascii::saveTagList(path, tagList(), m_tag->currentText());
    if (!saved.ok) {
        QMessageBox::critical(frame().mainWindow(), wizardtext::saveErrorTitle(), saved.message());
        return;
    }
    // Written entry by entry, first to last: the last one stays selected.
    if (m_tag->count() > 0)
        m_tag->setCurrentIndex(m_tag->count() - 1);
}

} // namespace kestrune
