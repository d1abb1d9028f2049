#include "MeterFeaturesPage.h"

#include "base/Language.h"
#include "base/Settings.h"
#include "channel/Link.h"
#include "channel/gui/DebugWindow.h"
#include "mbus/FcbState.h"
#include "mbus/MeterOperations.h"
#include "mbus/gui/RecordsView.h"
#include "wizard/Navigation.h"
#include "wizard/PageRules.h"
#include "wizard/ShellState.h"
#include "wizard/gui/PageSettings.h"
#include "wizard/gui/WizardText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

namespace kestrune {

namespace {

// texts: 114, 364, 650, 651-656, 660-665, 669-672, 684, 826, 1115, 2517
constexpr int TextHeader = 114;
constexpr int TextReady = 364;
constexpr int TextApplyStart = 650;
constexpr int TextFirstOption = 651;
constexpr int TextNewAddress = 660;
constexpr int TextBroadcast = 661;
constexpr int TextLineSpeed = 662;
constexpr int TextUseSecondary = 663;
constexpr int TextAlwaysInit = 664;
constexpr int TextAlwaysApp = 665;
constexpr int TextResetSubcode = 669;
constexpr int TextManufacturer = 670;
constexpr int TextVersion = 671;
constexpr int TextMedium = 672;
constexpr int TextEnhanced = 684;
constexpr int TextSearch = 826;
constexpr int TextDebug = 1115;
constexpr int TextRecords = 2517;

using wizardtext::indexed;
using wizardtext::shown;
using wizardtext::text;

// Layout, in twips: the operations in a column at the left with the two
// always-boxes below them, the address fields at the right, the reset
// subcode across, the information box above the buttons.
constexpr int Left = 240;
constexpr int Right = 3300;
constexpr int FieldLeft = 4920;
constexpr int FirstRow = 780;
constexpr int OptionStep = 270;
constexpr int RowStep = 345;
constexpr int InfoTop = 3600;
constexpr int ButtonWidth = 1500;
constexpr int SearchLeft = 1860;
constexpr int RecordsLeft = 3480;

constexpr int row(int k) {
    return FirstRow + k * RowStep;
}

bool flag(const QString& key) {
    return settings::getNumber(key, QStringLiteral("0")) != 0;
}

MeterFeaturesPage::SearchOpener& searchOpener() {
    static MeterFeaturesPage::SearchOpener opener;
    return opener;
}

} // namespace

MeterFeaturesPage::MeterFeaturesPage(WizardFrame& frame)
    : LinkPage(page::MeterFeatures, frame, OnLeave::CloseLink) {}

MeterFeaturesPage::~MeterFeaturesPage() = default;

QString MeterFeaturesPage::headerText() const {
    return text(TextHeader);
}

void MeterFeaturesPage::build() {
    m_operations = std::make_unique<MeterOperations>(frame().link(), fcbState());
    connect(m_operations.get(), &MeterOperations::textChanged, this,
            [this](const QString& t) { showInfo(t); });
    buildControls();
    connectControls();
}

void MeterFeaturesPage::buildControls() {
    const PageLayout& l = pageLayout();
    for (int i = 0; i < MeterFeatureCount; ++i)
        m_options[static_cast<size_t>(i)] =
            l.addOption(this, indexed("Option_SelectMeterFeature", i), Left,
                        FirstRow + i * OptionStep, Right - Left - 60);
    const int belowOptions = FirstRow + MeterFeatureCount * OptionStep + 120;
    m_alwaysInit = l.addCheckBox(this, QStringLiteral("Check_MeterFeature_AlwaysInit"), Left,
                                 belowOptions, Right - Left - 60);
    // Below the address fields: room for the longer caption.
    m_alwaysApp = l.addCheckBox(this, QStringLiteral("Check_MeterFeature_AlwaysApp"), Left,
                                belowOptions + RowStep, 3900);

    const int right = twips::WindowWidth - 240;
    const auto label = [&](int index, int left, int top, int width) {
        QLabel* lbl = l.addLabel(this, indexed("Label_MeterFeature", index), left, top, width);
        m_labels[static_cast<size_t>(index)] = lbl;
    };
    // The meter's address, or its identification number in the same place.
    label(0, Right, row(0), FieldLeft - Right - 60);
    m_address[0] =
        l.addLineEdit(this, indexed("Text_MeterFeature_Address", 0), FieldLeft, row(0), 900);
    m_secondary[0] =
        l.addLineEdit(this, indexed("Text_MeterFeature_Sec_Address", 0), FieldLeft, row(0), 1200);
    // Broadcast, or the new address, or the new line speed (never together).
    m_broadcast = l.addCheckBox(this, QStringLiteral("Check_MeterFeature_TestAndDiagnostics"),
                                Right, row(1), right - Right);
    label(1, Right, row(1), FieldLeft - Right - 60);
    m_address[1] =
        l.addLineEdit(this, indexed("Text_MeterFeature_Address", 1), FieldLeft, row(1), 900);
    label(2, Right, row(1), FieldLeft - Right - 60);
    m_lineSpeed =
        l.addCombo(this, QStringLiteral("Combo_MeterFeature_LineSpeed"), FieldLeft, row(1), 2100);
    // Secondary addressing: the rest of the mask, the fabrication number.
    m_useSecondary = l.addCheckBox(this, QStringLiteral("Check_MeterFeature_UseSecondaryAddress"),
                                   Right, row(2), right - Right);
    label(3, Right, row(3), 1320);
    m_secondary[1] =
        l.addLineEdit(this, indexed("Text_MeterFeature_Sec_Address", 1), Right + 1380, row(3), 720);
    label(4, Right + 2220, row(3), 900);
    m_secondary[2] =
        l.addLineEdit(this, indexed("Text_MeterFeature_Sec_Address", 2), Right + 3180, row(3), 480);
    label(5, Right, row(4), 1320);
    m_secondary[3] =
        l.addLineEdit(this, indexed("Text_MeterFeature_Sec_Address", 3), Right + 1380, row(4), 480);
    m_useEnhanced = l.addCheckBox(this, QStringLiteral("Check_MeterFeature_UseEnhancedSecondary"),
                                  Right, row(5), 2820);
    m_fabrication = l.addLineEdit(this, QStringLiteral("Text_MeterFeature_Fabrication"),
                                  Right + 2880, row(5), 1080);
    // The subcode of an application reset, across the page.
    const int resetRow = belowOptions + 2 * RowStep;
    label(7, Left, resetRow, 1380);
    m_appReset = l.addCombo(this, QStringLiteral("Combo_MeterFeature_AppReset"), Left + 1440,
                            resetRow, 3600);

    m_info = l.addInfoText(
        this, page::MeterFeatures,
        QRect(Left, InfoTop, twips::WindowWidth - 2 * Left, twips::ButtonRowTop - 60 - InfoTop));
    // The hexadecimal dump of a reply lines up in columns, as in the traffic log.
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSizeF(8.25);
    m_info->setFont(fixed);
    m_infoArea = m_info->geometry();
    m_lineNote = new QLabel(this);
    m_lineNote->setObjectName(QStringLiteral("lblMeterFeatureLineNote"));
    m_lineNote->setWordWrap(true);
    m_lineNote->hide();

    const int buttons = twips::ButtonRowTop;
    m_apply =
        l.addButton(this, QStringLiteral("Command_MeterFeature_Apply"), Left, buttons, ButtonWidth);
    m_search = l.addButton(this, QStringLiteral("Command_MeterFeature_Search"), SearchLeft, buttons,
                           ButtonWidth);
    m_records = l.addButton(this, QStringLiteral("Command_MeterFeature_Records"), RecordsLeft,
                            buttons, ButtonWidth);
    m_debug = l.addButton(this, QStringLiteral("Command_MeterFeature_Debug"),
                          twips::WindowWidth - 240 - ButtonWidth, buttons, ButtonWidth);
}

void MeterFeaturesPage::connectControls() {
    for (int i = 0; i < MeterFeatureCount; ++i)
        connect(m_options[static_cast<size_t>(i)], &QRadioButton::clicked, this,
                [this, i] { selectFeature(i); });
    const auto box = [this](QCheckBox* b, void (MeterFeatureControls::*set)(bool)) {
        connect(b, &QCheckBox::clicked, this, [this, set](bool checked) {
            (m_controls.*set)(checked);
            showControls();
        });
    };
    box(m_broadcast, &MeterFeatureControls::setBroadcast);
    box(m_useSecondary, &MeterFeatureControls::setSecondary);
    box(m_useEnhanced, &MeterFeatureControls::setEnhanced);
    box(m_alwaysInit, &MeterFeatureControls::setAlwaysInit);
    box(m_alwaysApp, &MeterFeatureControls::setAlwaysApp);

    connect(m_address[0], &QLineEdit::textEdited, this,
            [this](const QString& t) { m_controls.editAddress0(t); });
    connect(m_address[1], &QLineEdit::textEdited, this,
            [](const QString& t) { settings::save(meterkeys::Address1, t); });
    for (int i = 0; i < 4; ++i)
        connect(m_secondary[static_cast<size_t>(i)], &QLineEdit::textEdited, this,
                [i](const QString& t) {
                    settings::save(meterkeys::SecAddressPrefix + QString::number(i), t);
                });
    connect(m_fabrication, &QLineEdit::textEdited, this,
            [](const QString& t) { settings::save(meterkeys::Fabrication, t); });
    connect(m_lineSpeed, &QComboBox::activated, this,
            [](int index) { pagesettings::savePosition(meterkeys::LineSpeed, index); });
    connect(m_appReset, &QComboBox::activated, this,
            [](int index) { pagesettings::savePosition(meterkeys::AppReset, index); });

    connect(m_apply, &QPushButton::clicked, this, &MeterFeaturesPage::apply);
    connect(m_search, &QPushButton::clicked, this, [this] {
        if (const SearchOpener& open = searchOpener())
            open(*this);
    });
    connect(m_debug, &QPushButton::clicked, this, [this] { frame().toggleTrafficLog(); });
    connect(m_records, &QPushButton::clicked, this,
            [this] { RecordsView::showWindow(m_lastReply, frame().mainWindow()); });
}

void MeterFeaturesPage::prepare() {
    // The frame count bit the user chose in the properties dialog holds from
    // the start, not only once the dialog was opened in this run.
    fcbState().setPolicy(storedFcbPolicy());
}

void MeterFeaturesPage::setCaptions() {
    for (int i = 0; i < MeterFeatureCount; ++i)
        m_options[static_cast<size_t>(i)]->setText(text(TextFirstOption + i));
    m_labels[1]->setText(text(TextNewAddress));
    m_labels[2]->setText(text(TextLineSpeed));
    m_labels[3]->setText(text(TextManufacturer));
    m_labels[4]->setText(text(TextVersion));
    m_labels[5]->setText(text(TextMedium));
    m_labels[7]->setText(text(TextResetSubcode));
    m_broadcast->setText(text(TextBroadcast));
    m_useSecondary->setText(text(TextUseSecondary));
    m_useEnhanced->setText(text(TextEnhanced));
    m_alwaysInit->setText(text(TextAlwaysInit));
    m_alwaysApp->setText(text(TextAlwaysApp));
    m_lineSpeed->clear();
    m_lineSpeed->addItems(meterLineSpeedTexts());
    m_appReset->clear();
    m_appReset->addItems(meterResetTexts());
    m_apply->setText(QLatin1Char('&') + text(TextApplyStart));
    m_search->setText(text(TextSearch));
    m_debug->setText(text(TextDebug));
    m_records->setText(text(TextRecords));
    fitCaptions();
}

// Room for the captions of the language: the column of the address labels
// and the Apply button grow to the widest text they show in any feature
// (the fields and the Search button move along); where the designed
// measures suffice, everything stays where it was designed.
void MeterFeaturesPage::fitCaptions() {
    const PageLayout& l = pageLayout();
    const int gap = l.x(60);
    int labelWidth = 0;
    for (int n : {640, 641, TextNewAddress, TextLineSpeed}) // texts: 640, 641
        labelWidth = std::max(
            labelWidth,
            m_labels[0]->fontMetrics().boundingRect(QRect(), Qt::AlignLeft, text(n)).width());
    const int fieldLeft = std::max(l.x(FieldLeft), m_labels[0]->x() + labelWidth + gap);
    const int rightMargin = l.x(twips::WindowWidth - 240);
    const auto field = [&](QWidget* w, int widthTwips) {
        w->setGeometry(fieldLeft, w->y(), std::min(l.x(widthTwips), rightMargin - fieldLeft),
                       w->height());
    };
    field(m_address[0], 900);
    field(m_address[1], 900);
    field(m_secondary[0], 1200);
    field(m_lineSpeed, 2100);
    for (int i : {0, 1, 2}) {
        QLabel* label = m_labels[static_cast<size_t>(i)];
        label->resize(fieldLeft - gap - label->x(), label->height());
    }

    const QStyle* style = m_apply->style();
    const int margins = 2 * (style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, m_apply) +
                             style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, m_apply));
    int applyWidth = l.x(ButtonWidth);
    const auto caption = [&](int n) {
        const QString shownCaption = QLatin1Char('&') + text(n);
        applyWidth = std::max(
            applyWidth,
            m_apply->fontMetrics().size(Qt::TextShowMnemonic, shownCaption).width() + margins);
    };
    caption(TextApplyStart);
    for (int n = 691; n <= 696; ++n) // texts: 691-696
        caption(n);
    m_apply->resize(applyWidth, m_apply->height());
    m_search->move(l.x(SearchLeft) + applyWidth - l.x(ButtonWidth), m_search->y());
    m_records->move(l.x(RecordsLeft) + applyWidth - l.x(ButtonWidth), m_records->y());
}

void MeterFeaturesPage::loadSettings() {
    MeterFeatureControls::Stored stored = MeterFeatureControls::readStored();
    stored.feature = state().selectedMeterFeature;
    m_controls.enter(stored);
    m_address[1]->setText(settings::get(meterkeys::Address1));
    for (int i = 0; i < 4; ++i)
        m_secondary[static_cast<size_t>(i)]->setText(
            settings::get(meterkeys::SecAddressPrefix + QString::number(i)));
    m_fabrication->setText(settings::get(meterkeys::Fabrication));
    pagesettings::setPosition(m_lineSpeed, meterkeys::LineSpeed, 0);
    pagesettings::setPosition(m_appReset, meterkeys::AppReset, 0);
    showControls();
    m_header.clear();
    m_apply->setText(QLatin1Char('&') + text(TextApplyStart));
    showInfo(getText(TextReady));
    showLineNote(QString());
    m_search->setEnabled(static_cast<bool>(searchOpener()));
    LinkPage::loadSettings();
}

void MeterFeaturesPage::showLinkFailure(int textNumber, const QString& error) {
    showInfo(meterPageFailureText(getText(textNumber), error));
    showLineNote(QString());
    m_apply->setEnabled(false);
    state().meterPageLinkOpen = false;
}

void MeterFeaturesPage::showLinkOpened() {
    m_apply->setEnabled(true);
    state().meterPageLinkOpen = true;
    // The next read of each meter starts its frame count bit anew.
    fcbState().setResetPending(true);
    selectFeature(state().selectedMeterFeature);
    showLineNote(lineSettingsNote());
}

void MeterFeaturesPage::selectFeature(int feature) {
    state().selectMeterFeature(feature);
    m_controls.selectFeature(state().selectedMeterFeature);
    const MeterControlState& s = m_controls.state();
    m_header = text(s.headerText);
    showInfo(getText(s.infoText));
    m_apply->setText(QLatin1Char('&') + text(s.applyCaptionText));
    showControls();
    // The continuous poll repeats the initialisation and the diagnostic
    // read only.
    DebugWindow::setPollBoxEnabled(pollTarget(number(), s.feature) != PollTarget::None);
}

void MeterFeaturesPage::showControls() {
    const MeterControlState& s = m_controls.state();
    const auto showBox = [](QCheckBox* b, const CheckBoxState& state) {
        b->setChecked(state.checked);
        b->setEnabled(state.enabled);
        b->setVisible(state.visible);
    };
    m_options[static_cast<size_t>(s.feature)]->setChecked(true);
    showBox(m_alwaysInit, s.alwaysInit);
    showBox(m_alwaysApp, s.alwaysApp);
    showBox(m_broadcast, s.broadcast);
    showBox(m_useSecondary, s.secondary);
    showBox(m_useEnhanced, s.enhanced);
    m_appReset->setEnabled(s.resetListEnabled);
    m_labels[7]->setEnabled(s.resetListEnabled);
    m_address[1]->setVisible(s.newAddressVisible);
    m_labels[1]->setVisible(s.newAddressVisible);
    m_lineSpeed->setVisible(s.lineSpeedVisible);
    m_labels[2]->setVisible(s.lineSpeedVisible);
    if (m_address[0]->text() != s.address0)
        m_address[0]->setText(s.address0);
    m_address[0]->setVisible(s.address0Visible);
    m_address[0]->setEnabled(s.address0Enabled);
    // Label 0 names the address, or the identification number in its place.
    m_labels[0]->setText(text(s.addressLabelText));
    for (QLineEdit* e : m_secondary)
        e->setVisible(s.secondaryBoxesVisible);
    for (int i : {3, 4, 5})
        m_labels[static_cast<size_t>(i)]->setVisible(s.secondaryBoxesVisible);
    m_fabrication->setVisible(s.fabricationVisible);
    m_fabrication->setEnabled(s.fabricationEnabled);
    if (!m_header.isEmpty())
        headerLabel()->setText(text(s.headerText));
}

ApplyInput MeterFeaturesPage::readBoxes() const {
    const MeterControlState& s = m_controls.state();
    ApplyInput in;
    in.feature = s.feature;
    in.address = m_address[0]->text();
    in.newAddress = m_address[1]->text();
    in.secId = m_secondary[0]->text();
    in.secManufacturer = m_secondary[1]->text();
    in.secVersion = m_secondary[2]->text();
    in.secMedium = m_secondary[3]->text();
    in.fabrication = m_fabrication->text();
    in.broadcast = s.broadcast.checked;
    in.secondary = s.secondary.checked;
    in.enhanced = s.enhanced.checked;
    // The two steps before the operation are read as stored.
    in.alwaysInit = flag(meterkeys::AlwaysInit);
    in.alwaysReset = flag(meterkeys::AlwaysApp);
    in.lineSpeedIndex = m_lineSpeed->currentIndex();
    in.resetIndex = m_appReset->currentIndex();
    return in;
}

// The boxes show what Apply made of them, and keep it.
void MeterFeaturesPage::writeBack(const ApplyPlan& plan) {
    const auto put = [](QLineEdit* e, const QString& t, const QString& key) {
        if (e->text() == t)
            return;
        e->setText(t);
        if (!key.isEmpty())
            settings::save(key, t);
    };
    if (m_address[0]->text() != plan.addressText) {
        m_controls.editAddress0(plan.addressText);
        m_address[0]->setText(plan.addressText);
    }
    put(m_address[1], plan.newAddressText, meterkeys::Address1);
    const QString secTexts[] = {plan.secId, plan.secManufacturer, plan.secVersion, plan.secMedium};
    for (int i = 0; i < 4; ++i)
        put(m_secondary[static_cast<size_t>(i)], secTexts[i],
            meterkeys::SecAddressPrefix + QString::number(i));
    put(m_fabrication, plan.fabrication, meterkeys::Fabrication);
}

void MeterFeaturesPage::apply() {
    // A poll tick or a click while an exchange waits starts nothing.
    if (m_operations->isBusy() || frame().link().isWaiting() || !m_apply->isEnabled())
        return;
    const ApplyPlan plan = planApply(readBoxes());
    writeBack(plan);
    QWidget* window = frame().mainWindow();
    window->setEnabled(false);
    m_apply->setEnabled(false);
    const MeterOutcome outcome = m_operations->apply(plan);
    if (isCurrent()) {
        m_apply->setEnabled(frame().link().isOpen() || state().meterPageLinkOpen);
        window->setEnabled(true);
    } else {
        window->setEnabled(true);
    }
    // Once the window takes input again: a window opened as a child of a
    // disabled one would start disabled.
    if (!outcome.reply.isEmpty())
        showRecords(outcome.reply);
}

void MeterFeaturesPage::showRecords(const QByteArray& reply) {
    m_lastReply = reply;
    const DebugWindow* log = DebugWindow::instance();
    if (log && log->pollBusy()) {
        if (RecordsView* view = RecordsView::window())
            view->showReply(reply);
        return;
    }
    RecordsView::showWindow(reply, frame().mainWindow());
}

void MeterFeaturesPage::setSearchOpener(SearchOpener opener) {
    searchOpener() = std::move(opener);
}

void MeterFeaturesPage::takeSearchedMeter(const QString& primary,
                                          const std::array<QString, 4>& secondary) {
    if (m_controls.state().secondary.checked) {
        for (int i = 0; i < 4; ++i) {
            m_secondary[static_cast<size_t>(i)]->setText(secondary[static_cast<size_t>(i)]);
            settings::save(meterkeys::SecAddressPrefix + QString::number(i),
                           secondary[static_cast<size_t>(i)]);
        }
        return;
    }
    m_controls.editAddress0(primary);
    m_address[0]->setText(primary);
}

void MeterFeaturesPage::showInfo(const QString& t) {
    m_info->setPlainText(shown(t));
}

void MeterFeaturesPage::showLineNote(const QString& note) {
    m_lineNote->setText(note);
    m_lineNote->setVisible(!note.isEmpty());
    if (note.isEmpty()) {
        m_info->setGeometry(m_infoArea);
        return;
    }
    // The note stays whole (it wraps in the page's font); the information
    // box above it keeps the rest and scrolls when it must.
    const int height = m_lineNote->heightForWidth(m_infoArea.width());
    m_lineNote->setGeometry(m_infoArea.left(), m_infoArea.bottom() + 1 - height, m_infoArea.width(),
                            height);
    m_info->setGeometry(m_infoArea.adjusted(0, 0, 0, -height - 2));
}

} // namespace kestrune
