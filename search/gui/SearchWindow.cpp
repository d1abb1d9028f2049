#include "search/gui/SearchWindow.h"

#include "base/IniFile.h"
#include "base/Language.h"
#include "base/Settings.h"
#include "channel/Link.h"
#include "mbus/MeterFeatures.h"
#include "mbus/MeterIdentification.h"
#include "mbus/gui/MeterFeaturesPage.h"
#include "mbus/gui/RecordsView.h"
#include "search/SearchExport.h"
#include "search/SearchTimeouts.h"
#include "search/gui/SearchTimeoutsWindow.h"
#include "wizard/ShellState.h"
#include "wizard/gui/PageLayout.h"
#include "wizard/gui/WizardPage.h"
#include "wizard/gui/WizardText.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kestrune {

namespace {

// texts: 50, 231, 232, 640, 670-672, 800-809, 821, 840-846
constexpr int TextCaption = 50;
constexpr int TextAbort = 231;
constexpr int TextExit = 232;
constexpr int TextMaskId = 640;
constexpr int TextManufacturer = 670;
constexpr int TextVersion = 671;
constexpr int TextMedium = 672;
constexpr int TextSearch = 800;
constexpr int TextFrameMethod = 801;
constexpr int TextPrimary = 802;
constexpr int TextSecondary = 803;
constexpr int TextViewFoundOnly = 804;
constexpr int TextFramePrimary = 805;
constexpr int TextFirstAddress = 806;
constexpr int TextLastAddress = 807;
constexpr int TextFrameSecondary = 808;
constexpr int TextExclude = 809;
constexpr int TextAcknowledged = 821;
constexpr int TextSpeedPrimary = 840;
constexpr int TextSaveReport = 841;
constexpr int TextSaveCsv = 842;
constexpr int TextSpeedSecondary = 843;
constexpr int TextFrameFast = 844;
constexpr int TextUseFabrication = 845;
constexpr int TextCopyIdentification = 846;
constexpr int TextRecords = 2517;
constexpr int TextSaveCsvTitle = 2641; // texts: 2641-2642
constexpr int TextSaveReportTitle = 2642;

using wizardtext::indexed;
using wizardtext::text;

// Per-user settings of the window.
const QString KeySndNke = QStringLiteral("Check_SND_NKE");
const QString KeyReqUd2 = QStringLiteral("Check_REQ_UD2");
const QString KeyViewFoundOnly = QStringLiteral("Check_ViewFoundOnly");
const QString KeyLow = QStringLiteral("Text_LowPrimaryAddress");
const QString KeyHigh = QStringLiteral("Text_HighPrimaryAddress");
const QString KeyMethod = QStringLiteral("Option_SearchMethod");
const QString KeyUseFabrication = QStringLiteral("SearchUseFabrication");
const QString KeyFabrication = QStringLiteral("SearchFabrication");
QString columnKey(int header) { // list headers 2..10 are the columns 1..9
    return QStringLiteral("ListView_SearchColumn_") + QString::number(header);
}
// The export dialogs' filters: text files of the given pattern, all files.
QString saveFilters(const char* pattern) {
    return wizardtext::fileFilter(wizardtext::TextTextFiles, pattern) + QStringLiteral(";;") +
           wizardtext::fileFilter(wizardtext::TextAllFiles, "(*.*)");
}
// Widths of the columns 1..9 until the user has set them: wide enough for
// what a found meter shows ("Electricity (02h)", "ABB (0442h)").
constexpr std::array<int, 9> DefaultColumnTwips = {1100, 900,  1050, 1050, 1300,
                                                   1500, 1100, 2300, 1300};
// A stored width below this would leave a column nobody can grab again.
constexpr int MinimumColumnTwips = 300;
constexpr int IconColumnWidth = 26; // pixels

constexpr int ColumnCount = ProbeResult::CellCount;

// The list's images 1..4: nothing answered (grey ring), answered (green
// disc with a tick), bad or colliding (red disc with a cross), one E5 to a
// wildcard mask (amber disc with a question mark).
QIcon rowIcon(int icon) {
    static const std::array<QIcon, 4> icons = [] {
        std::array<QIcon, 4> made;
        for (int i = 0; i < 4; ++i) {
            QPixmap pm(16, 16);
            pm.fill(Qt::transparent);
            QPainter p(&pm);
            p.setRenderHint(QPainter::Antialiasing);
            const QRectF disc(1.5, 1.5, 13, 13);
            QPen pen(Qt::white, 2);
            switch (i + 1) {
            case ProbeResult::NoAnswer:
                p.setPen(QPen(QColor(150, 150, 150), 1.5));
                p.drawEllipse(disc);
                break;
            case ProbeResult::Correct:
                p.setPen(Qt::NoPen);
                p.setBrush(QColor(30, 150, 60));
                p.drawEllipse(disc);
                p.setPen(pen);
                p.drawPolyline(QPolygonF({{4.5, 8.0}, {7.0, 10.5}, {11.5, 5.5}}));
                break;
            case ProbeResult::BadOrColliding:
                p.setPen(Qt::NoPen);
                p.setBrush(QColor(200, 30, 30));
                p.drawEllipse(disc);
                p.setPen(pen);
                p.drawLine(QPointF(5, 5), QPointF(11, 11));
                p.drawLine(QPointF(11, 5), QPointF(5, 11));
                break;
            default:
                p.setPen(Qt::NoPen);
                p.setBrush(QColor(230, 160, 20));
                p.drawEllipse(disc);
                p.setPen(Qt::white);
                QFont f = p.font();
                f.setBold(true);
                f.setPixelSize(11);
                p.setFont(f);
                p.drawText(disc, Qt::AlignCenter, QStringLiteral("?"));
                break;
            }
            made[static_cast<size_t>(i)] = QIcon(pm);
        }
        return made;
    }();
    return icon >= 1 && icon <= 4 ? icons[static_cast<size_t>(icon - 1)] : QIcon();
}

bool checkedSetting(const QString& key, const char* defaultValue) {
    return settings::getNumber(key, QLatin1String(defaultValue)) != 0;
}

SearchWindow* g_instance = nullptr;

} // namespace

// ---- opening and closing ------------------------------------------------------

SearchWindow* SearchWindow::showWindow(WizardFrame& frame, MeterFeaturesPage* page) {
    if (!g_instance)
        g_instance = new SearchWindow(frame, frame.mainWindow());
    g_instance->m_page = page;
    if (!g_instance->isVisible())
        g_instance->loadSettings();
    g_instance->show();
    g_instance->raise();
    g_instance->activateWindow();
    return g_instance;
}

SearchWindow* SearchWindow::instance() {
    return g_instance;
}

SearchWindow::SearchWindow(WizardFrame& frame, QWidget* parent)
    : QWidget(parent, Qt::Window), m_frame(frame),
      m_engine(std::make_unique<SearchEngine>(frame.link(), programIni(),
                                              static_cast<SearchQuestions*>(this))) {
    setObjectName(QStringLiteral("Kestrune_Search"));
    buildControls();
    setCaptions();
    connectControls();
    resize(PageLayout(this).x(13200), PageLayout(this).y(7600));
    // A search still running when the program ends stops at the next probe.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { m_engine->abort(); });
}

SearchWindow::~SearchWindow() {
    m_engine->abort();
    if (g_instance == this)
        g_instance = nullptr;
}

void SearchWindow::closeEvent(QCloseEvent* event) {
    // Form_Unload: a running search stops at the next probe; the window only
    // hides, so the search can unwind.
    m_engine->abort();
    storeSettings();
    m_fabrication->setVisible(m_useFabrication->isChecked());
    event->accept();
}

// ---- controls -------------------------------------------------------------------

void SearchWindow::buildControls() {
    const auto label = [](QWidget* parent, const QString& name) {
        auto* l = new QLabel(parent);
        l->setObjectName(name);
        return l;
    };
    const auto edit = [](QWidget* parent, const QString& name, int maxLength) {
        auto* e = new QLineEdit(parent);
        e->setObjectName(name);
        e->setMaxLength(maxLength);
        return e;
    };
    const auto check = [](QWidget* parent, const QString& name) {
        auto* c = new QCheckBox(parent);
        c->setObjectName(name);
        return c;
    };
    const auto frame = [](QWidget* parent, const QString& name) {
        auto* g = new QGroupBox(parent);
        g->setObjectName(name);
        return g;
    };

    // The method, and whether rows without a find stay in the list.
    m_frameMethod = frame(this, QStringLiteral("Frame_Method"));
    auto* methodLayout = new QVBoxLayout(m_frameMethod);
    for (int i = 0; i < 2; ++i) {
        auto* o = new QRadioButton(m_frameMethod);
        o->setObjectName(indexed("Option_SearchMethod", i));
        methodLayout->addWidget(o);
        m_method[static_cast<size_t>(i)] = o;
    }
    m_viewFoundOnly = check(m_frameMethod, QStringLiteral("Check_ViewFoundOnly"));
    methodLayout->addWidget(m_viewFoundOnly);
    methodLayout->addStretch(1);

    // Primary scan: the address range and the two telegrams.
    m_framePrimary = frame(this, QStringLiteral("Frame_Primary"));
    auto* primary = new QGridLayout(m_framePrimary);
    m_labelFirst = label(m_framePrimary, QStringLiteral("Label_FirstPrimaryAddress"));
    m_labelLast = label(m_framePrimary, QStringLiteral("Label_LastPrimaryAddress"));
    m_low = edit(m_framePrimary, QStringLiteral("Text_LowPrimaryAddress"), 10);
    m_high = edit(m_framePrimary, QStringLiteral("Text_HighPrimaryAddress"), 10);
    m_sndNke = check(m_framePrimary, QStringLiteral("Check_SND_NKE"));
    m_reqUd2 = check(m_framePrimary, QStringLiteral("Check_REQ_UD2"));
    m_sndNke->setText(QStringLiteral("SND_NKE"));
    m_reqUd2->setText(QStringLiteral("REQ_UD2"));
    primary->addWidget(m_labelFirst, 0, 0);
    primary->addWidget(m_low, 0, 1);
    primary->addWidget(m_labelLast, 1, 0);
    primary->addWidget(m_high, 1, 1);
    primary->addWidget(m_sndNke, 2, 0);
    primary->addWidget(m_reqUd2, 2, 1);
    primary->setRowStretch(3, 1);
    primary->setColumnStretch(2, 1);
    for (QLineEdit* e : {m_low, m_high})
        e->setMaximumWidth(PageLayout(this).x(900));

    // Secondary search: the masks, the exclusion of the CSV file, the
    // fabrication number.
    m_frameSecondary = frame(this, QStringLiteral("Frame_Secondary"));
    auto* secondary = new QGridLayout(m_frameSecondary);
    m_labelMaskId = label(m_frameSecondary, QStringLiteral("lblMaskId"));
    m_labelMaskMnfct = label(m_frameSecondary, QStringLiteral("lblMaskMnfct"));
    m_labelMaskVersion = label(m_frameSecondary, QStringLiteral("lblMaskVersion"));
    m_labelMaskMedia = label(m_frameSecondary, QStringLiteral("lblMaskMedia"));
    m_labelExclude = label(m_frameSecondary, QStringLiteral("lblMaskExclude"));
    m_labelExcludeMnfct = label(m_frameSecondary, QStringLiteral("lblMaskExcludeMnfct"));
    m_maskId = edit(m_frameSecondary, QStringLiteral("Text_SearchMaskId"), 10);
    m_maskMnfct = edit(m_frameSecondary, QStringLiteral("Text_SearchMaskMnfct"), 4);
    m_maskVersion = edit(m_frameSecondary, QStringLiteral("Text_SearchMaskVersion"), 2);
    m_maskMedia = edit(m_frameSecondary, QStringLiteral("Text_SearchMaskMedia"), 2);
    m_maskExclude = edit(m_frameSecondary, QStringLiteral("Text_SearchMaskExclude"), 4);
    m_secReqUd2 = check(m_frameSecondary, QStringLiteral("chkSec_REQ_UD2"));
    m_secReqUd2->setText(QStringLiteral("REQ_UD2"));
    m_secReqUd2->setChecked(true);
    secondary->addWidget(m_labelMaskId, 0, 0);
    secondary->addWidget(m_maskId, 0, 1);
    secondary->addWidget(m_secReqUd2, 0, 2, 1, 2);
    secondary->addWidget(m_labelMaskMnfct, 1, 0);
    secondary->addWidget(m_maskMnfct, 1, 1);
    secondary->addWidget(m_labelMaskVersion, 1, 2);
    secondary->addWidget(m_maskVersion, 1, 3);
    secondary->addWidget(m_labelMaskMedia, 2, 2);
    secondary->addWidget(m_maskMedia, 2, 3);
    secondary->addWidget(m_labelExclude, 3, 0, 1, 4);
    secondary->addWidget(m_labelExcludeMnfct, 4, 0);
    secondary->addWidget(m_maskExclude, 4, 1);
    m_frameFast = frame(m_frameSecondary, QStringLiteral("Frame_FastSearch"));
    auto* fast = new QHBoxLayout(m_frameFast);
    m_useFabrication = check(m_frameFast, QStringLiteral("Chk_SearchUseFabrication"));
    m_fabrication = edit(m_frameFast, QStringLiteral("Text_SearchFabrication"), 8);
    fast->addWidget(m_useFabrication);
    fast->addWidget(m_fabrication);
    secondary->addWidget(m_frameFast, 5, 0, 1, 4);
    secondary->setRowStretch(6, 1);
    secondary->setColumnStretch(4, 1);
    for (QLineEdit* e : {m_maskId, m_fabrication})
        e->setMaximumWidth(PageLayout(this).x(1300));
    for (QLineEdit* e : {m_maskMnfct, m_maskVersion, m_maskMedia, m_maskExclude})
        e->setMaximumWidth(PageLayout(this).x(800));

    // The bus speed, when the search could not learn it.
    m_frameTimeout = frame(this, QStringLiteral("Frame_Timeout"));
    auto* timeout = new QVBoxLayout(m_frameTimeout);
    for (int i = 0; i < SpeedChoiceCount; ++i) {
        auto* o = new QRadioButton(m_frameTimeout);
        o->setObjectName(indexed("Option_Timeout", i));
        timeout->addWidget(o);
        m_speed[static_cast<size_t>(i)] = o;
    }
    timeout->addStretch(1);
    m_frameTimeout->hide();

    const auto button = [this](const char* name) {
        auto* b = new QPushButton(this);
        b->setObjectName(QLatin1String(name));
        return b;
    };
    m_search = button("Command_Search");
    m_abort = button("Command_AbortSearch");
    m_save = button("Command_Save");
    m_saveCsv = button("CmdSaveCsv");
    m_exit = button("Command_Exit");
    m_abort->hide();
    m_search->setDefault(true);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("ListView_Search"));
    m_list->setColumnCount(ColumnCount);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAlternatingRowColors(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setAllColumnsShowFocus(true);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionsMovable(false);
    m_list->header()->setSectionResizeMode(0, QHeaderView::Fixed);
    m_list->header()->resizeSection(0, IconColumnWidth);

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("ProgressBar_Search"));
    m_progress->setTextVisible(false);
    m_progress->setMaximumHeight(12);

    auto* status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("StatusBar_Search"));
    status->setSizeGripEnabled(true);
    // The counters get room for their caption and three digits.
    const int counterWidth =
        fontMetrics().horizontalAdvance(getText(TextAcknowledged) + QStringLiteral(" 000")) + 12;
    const int stretch[4] = {2, 2, 1, 1};
    for (int i = 0; i < 4; ++i) {
        auto* panel = new QLabel(status);
        panel->setObjectName(indexed("Panel_Search", i + 1));
        panel->setFrameShape(QFrame::StyledPanel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setMinimumWidth(i < 2 ? 120 : counterWidth);
        status->addPermanentWidget(panel, stretch[i]);
        m_panels[static_cast<size_t>(i)] = panel;
    }

    auto* top = new QHBoxLayout;
    top->addWidget(m_frameMethod);
    top->addWidget(m_framePrimary, 1);
    top->addWidget(m_frameSecondary, 1);
    top->addWidget(m_frameTimeout);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_search);
    buttons->addWidget(m_abort);
    buttons->addWidget(m_save);
    buttons->addWidget(m_saveCsv);
    buttons->addStretch(1);
    buttons->addWidget(m_exit);
    top->addLayout(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_progress);
    layout->addWidget(status);
}

void SearchWindow::setCaptions() {
    setWindowTitle(getText(TextCaption));
    m_frameMethod->setTitle(text(TextFrameMethod));
    m_method[0]->setText(text(TextPrimary));
    m_method[1]->setText(text(TextSecondary));
    m_viewFoundOnly->setText(text(TextViewFoundOnly));
    m_framePrimary->setTitle(text(TextFramePrimary));
    m_labelFirst->setText(text(TextFirstAddress));
    m_labelLast->setText(text(TextLastAddress));
    m_frameSecondary->setTitle(text(TextFrameSecondary));
    m_labelMaskId->setText(text(TextMaskId));
    m_labelMaskMnfct->setText(text(TextManufacturer));
    m_labelMaskVersion->setText(text(TextVersion));
    m_labelMaskMedia->setText(text(TextMedium));
    m_labelExcludeMnfct->setText(text(TextManufacturer));
    m_labelExclude->setText(text(TextExclude));
    m_frameFast->setTitle(text(TextFrameFast));
    m_useFabrication->setText(text(TextUseFabrication));
    m_search->setText(text(TextSearch));
    m_abort->setText(text(TextAbort));
    m_save->setText(text(TextSaveReport));
    m_saveCsv->setText(text(TextSaveCsv));
    m_exit->setText(text(TextExit));
    QStringList headers = searchColumnHeaders(false);
    headers.prepend(QString());
    m_list->setHeaderLabels(headers);
}

void SearchWindow::connectControls() {
    for (int i = 0; i < 2; ++i)
        connect(m_method[static_cast<size_t>(i)], &QRadioButton::clicked, this,
                [this, i] { methodClicked(i); });
    for (int i = 0; i < SpeedChoiceCount; ++i)
        connect(m_speed[static_cast<size_t>(i)], &QRadioButton::clicked, this,
                [this, i] { speedButtonClicked(i); });
    for (QLineEdit* e : {m_low, m_high, m_maskId})
        connect(e, &QLineEdit::textChanged, this, &SearchWindow::validateSettings);
    for (QCheckBox* c : {m_sndNke, m_reqUd2})
        connect(c, &QCheckBox::clicked, this, &SearchWindow::validateSettings);
    connect(m_viewFoundOnly, &QCheckBox::toggled, this, &SearchWindow::applyFilter);
    connect(m_useFabrication, &QCheckBox::clicked, this, &SearchWindow::fabricationClicked);
    connect(m_fabrication, &QLineEdit::textChanged, this,
            [](const QString& t) { settings::save(KeyFabrication, t); });
    // The masks after the identification are read anew for every selection.
    for (QLineEdit* e : {m_maskMnfct, m_maskVersion, m_maskMedia, m_fabrication})
        connect(e, &QLineEdit::textChanged, this, &SearchWindow::selectionMasksChanged);
    connect(m_useFabrication, &QCheckBox::toggled, this, &SearchWindow::selectionMasksChanged);

    connect(m_search, &QPushButton::clicked, this, &SearchWindow::search);
    connect(m_abort, &QPushButton::clicked, this, [this] { m_engine->abort(); });
    connect(m_exit, &QPushButton::clicked, this, [this] {
        m_engine->abort();
        close();
    });
    connect(m_save, &QPushButton::clicked, this, &SearchWindow::saveReport);
    connect(m_saveCsv, &QPushButton::clicked, this, &SearchWindow::saveCsv);

    connect(m_list, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { rowDoubleClicked(item); });
    connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QTreeWidgetItem* item = m_list->itemAt(at);
        if (!item)
            return;
        m_list->setCurrentItem(item);
        QMenu menu(this);
        menu.setObjectName(QStringLiteral("Menu_Popup"));
        QAction* copy = menu.addAction(text(TextCopyIdentification));
        copy->setObjectName(QStringLiteral("Menu_Popup_CopyToClipBoard"));
        copy->setEnabled(!item->text(MeterDataColumns::IdentificationColumn).isEmpty());
        connect(copy, &QAction::triggered, this, &SearchWindow::copyIdentification);
        QAction* records = menu.addAction(text(TextRecords));
        records->setObjectName(QStringLiteral("Menu_Popup_Records"));
        records->setEnabled(!replyOf(item).isEmpty());
        connect(records, &QAction::triggered, this, [this, item] { showRecords(item); });
        menu.exec(m_list->viewport()->mapToGlobal(at));
    });

    SearchEngine* e = m_engine.get();
    connect(e, &SearchEngine::rowsCleared, this, [this] {
        m_list->clear();
        m_items.clear();
        m_rows.clear();
    });
    connect(e, &SearchEngine::rowAdded, this, &SearchWindow::addRow);
    connect(e, &SearchEngine::rowChanged, this, &SearchWindow::changeRow);
    connect(e, &SearchEngine::progressRangeChanged, this,
            [this](int minimum, int maximum) { m_progress->setRange(minimum, maximum); });
    connect(e, &SearchEngine::progressChanged, m_progress, &QProgressBar::setValue);
    connect(e, &SearchEngine::statusChanged, this, [this](int panel, const QString& t) {
        if (panel >= 1 && panel <= 4)
            m_panels[static_cast<size_t>(panel - 1)]->setText(t);
    });
    connect(e, &SearchEngine::speedChoiceRequested, this, [this](int choice) {
        refreshSpeedButtons();
        if (choice >= 0 && choice < SpeedChoiceCount)
            m_speed[static_cast<size_t>(choice)]->setChecked(true);
        m_frameTimeout->show();
    });
    connect(e, &SearchEngine::sendFailed, this, [this](const QString& message) {
        QMessageBox::warning(this, windowTitle(), wizardtext::shown(message));
    });
}

// ---- settings ---------------------------------------------------------------------

void SearchWindow::loadSettings() {
    const PageLayout twips(this);
    for (int column = 1; column < ColumnCount; ++column) {
        const QString key = columnKey(column + 1);
        if (!settings::contains(key)) {
            // Until the user sets it: the found meter's cells, and the
            // heading whole in whatever language it is in.
            const int fit = twips.x(DefaultColumnTwips[static_cast<size_t>(column - 1)]);
            m_list->header()->resizeSection(
                column, std::max(fit, m_list->header()->sectionSizeHint(column)));
            continue;
        }
        const int64_t stored = settings::getNumber(key);
        const int width = static_cast<int>(std::clamp<int64_t>(stored, MinimumColumnTwips, 30000));
        m_list->header()->resizeSection(column, twips.x(width));
    }
    m_sndNke->setChecked(checkedSetting(KeySndNke, "1"));
    m_reqUd2->setChecked(checkedSetting(KeyReqUd2, "1"));
    m_viewFoundOnly->setChecked(checkedSetting(KeyViewFoundOnly, "0"));
    m_low->setText(settings::get(KeyLow, QStringLiteral("0")));
    m_high->setText(settings::get(KeyHigh, QStringLiteral("250")));
    // Each opening starts the masks anew.
    m_maskId->setText(QStringLiteral("FFFFFFFF"));
    m_maskMnfct->setText(QStringLiteral("FFFF"));
    m_maskVersion->setText(QStringLiteral("FF"));
    m_maskMedia->setText(QStringLiteral("FF"));
    m_maskExclude->setText(QStringLiteral("FFFF"));
    {
        // Filling the box is no change of the user's.
        const QSignalBlocker block(m_fabrication);
        m_fabrication->setText(settings::get(KeyFabrication));
    }
    const bool useFabrication = checkedSetting(KeyUseFabrication, "0");
    m_useFabrication->setChecked(useFabrication);
    m_fabrication->setVisible(useFabrication);
    const int method = settings::getNumber(KeyMethod, QStringLiteral("0")) == 1 ? 1 : 0;
    m_method[static_cast<size_t>(method)]->setChecked(true);
    methodClicked(method);
    selectionMasksChanged();
    validateSettings();
}

void SearchWindow::storeSettings() {
    const PageLayout twips(this);
    const auto toTwips = [&](int pixels) {
        // The inverse of PageLayout::x.
        const int per1000 = std::max(1, twips.x(1000));
        return (pixels * 1000 + per1000 / 2) / per1000;
    };
    for (int column = 1; column < ColumnCount; ++column)
        settings::save(columnKey(column + 1),
                       static_cast<int64_t>(toTwips(m_list->header()->sectionSize(column))));
    const auto flag = [](const QCheckBox* c) { return c->isChecked() ? int64_t{1} : int64_t{0}; };
    settings::save(KeySndNke, flag(m_sndNke));
    settings::save(KeyReqUd2, flag(m_reqUd2));
    settings::save(KeyViewFoundOnly, flag(m_viewFoundOnly));
    settings::save(KeyLow, m_low->text());
    settings::save(KeyHigh, m_high->text());
    settings::save(KeyMethod, m_method[0]->isChecked() ? QStringLiteral("0") : QStringLiteral("1"));
    settings::save(KeyUseFabrication, flag(m_useFabrication));
}

// ---- the controls' handlers ------------------------------------------------------------

void SearchWindow::validateSettings() {
    m_search->setEnabled(SearchEngine::settingsValid(controlSettings()));
}

void SearchWindow::methodClicked(int index) {
    const bool primary = index == 0;
    m_framePrimary->setVisible(primary);
    m_frameSecondary->setVisible(!primary);
    const QStringList headers = searchColumnHeaders(!primary);
    m_list->headerItem()->setText(3, headers[2]);
    m_frameTimeout->setTitle(text(primary ? TextSpeedPrimary : TextSpeedSecondary));
    validateSettings();
}

void SearchWindow::fabricationClicked(bool checked) {
    settings::save(KeyUseFabrication, checked ? int64_t{1} : int64_t{0});
    m_fabrication->setVisible(checked);
}

void SearchWindow::selectionMasksChanged() {
    m_engine->setSelectionMasks(m_maskMnfct->text(), m_maskVersion->text(), m_maskMedia->text(),
                                m_useFabrication->isChecked(), m_fabrication->text());
}

void SearchWindow::speedButtonClicked(int button) {
    m_engine->chooseSpeed(button);
    searchtimeouts::storeSpeedButton(button);
}

void SearchWindow::refreshSpeedButtons() {
    if (!g_instance)
        return;
    const GatewayFamily family = SearchTimeoutsWindow::activeFamily();
    for (int i = 0; i < SpeedChoiceCount; ++i)
        g_instance->m_speed[static_cast<size_t>(i)]->setText(
            speedChoiceCaption(programIni(), i, family));
}

// ---- the search ----------------------------------------------------------------------

SearchSettings SearchWindow::controlSettings() const {
    SearchSettings s;
    s.method = m_method[0]->isChecked() ? SearchMethod::Primary : SearchMethod::Secondary;
    // Numbers beyond an int are out of range either way.
    const auto address = [](const QLineEdit* box) {
        return static_cast<int>(std::clamp<int64_t>(leadingRoundedNumber(box->text()), -1, 1000));
    };
    s.low = address(m_low);
    s.high = address(m_high);
    s.sndNke = m_sndNke->isChecked();
    s.reqUd2 = m_reqUd2->isChecked();
    s.maskId = m_maskId->text();
    s.maskManufacturer = m_maskMnfct->text();
    s.maskVersion = m_maskVersion->text();
    s.maskMedium = m_maskMedia->text();
    s.useFabrication = m_useFabrication->isChecked();
    s.fabrication = m_fabrication->text();
    s.secondaryReqUd2 = m_secReqUd2->isChecked();
    return s;
}

SearchSettings SearchWindow::searchSettings() const {
    SearchSettings s = controlSettings();
    const ShellState& shell = m_frame.state();
    Link& link = m_frame.link();
    s.link = storedLinkSettings(link.selectedTask());
    s.busDelay = link.busDelay();
    s.chosenDeviceKind = shell.chosenDeviceKind;
    s.chosenDeviceIp = shell.chosenDeviceIP;
    s.typedAddress = settings::get(QStringLiteral("IPAddress"));
    s.adapterAddress = shell.selectedAdapterIP;
    s.family = SearchTimeoutsWindow::activeFamily();
    s.speedChoice = searchtimeouts::storedSpeedButton();
    return s;
}

void SearchWindow::search() {
    if (m_engine->isRunning() || !m_search->isEnabled())
        return;
    const SearchSettings s = searchSettings();
    m_shownMethod = s.method;
    m_frameTimeout->hide();
    m_search->hide();
    m_abort->show();
    m_abort->setFocus();
    for (QWidget* w : {static_cast<QWidget*>(m_method[0]), static_cast<QWidget*>(m_method[1]),
                       static_cast<QWidget*>(m_save), static_cast<QWidget*>(m_saveCsv)})
        w->setEnabled(false);
    m_engine->setQuestions(this);
    (void)m_engine->run(s);
    searchFinished();
}

void SearchWindow::searchFinished() {
    m_search->show();
    m_abort->hide();
    for (QWidget* w : {static_cast<QWidget*>(m_method[0]), static_cast<QWidget*>(m_method[1]),
                       static_cast<QWidget*>(m_save), static_cast<QWidget*>(m_saveCsv)})
        w->setEnabled(true);
    validateSettings();
}

bool SearchWindow::confirmK2Speed(const QString& question) {
    return wizardtext::askYesNo(this, windowTitle(), wizardtext::shown(question));
}

bool SearchWindow::confirmUnknownSpeed(const QString& question) {
    return confirmK2Speed(question);
}

// ---- the list ----------------------------------------------------------------------

void SearchWindow::addRow(int index, const ProbeResult& row) {
    if (index != m_items.size())
        return; // the engine counts its rows from 0 without gaps
    auto* item = new QTreeWidgetItem;
    m_items.append(item);
    m_rows.append(row);
    m_list->addTopLevelItem(item);
    showRow(item, row);
    m_list->scrollToItem(item);
}

void SearchWindow::changeRow(int index, const ProbeResult& row) {
    if (index < 0 || index >= m_items.size())
        return;
    m_rows[index] = row;
    showRow(m_items[index], row);
}

void SearchWindow::showRow(QTreeWidgetItem* item, const ProbeResult& row) {
    item->setIcon(0, rowIcon(row.icon));
    for (int column = 1; column < ColumnCount; ++column) {
        item->setText(column, row.cell(column));
        // A cell cut by its column shows whole in its tool tip.
        item->setToolTip(column, row.cell(column));
    }
    item->setHidden(!keptInView(row));
}

bool SearchWindow::keptInView(const ProbeResult& row) const {
    return !m_viewFoundOnly->isChecked() || keptWhenFoundOnly(m_shownMethod, row);
}

void SearchWindow::applyFilter() {
    for (int i = 0; i < m_items.size(); ++i)
        m_items[i]->setHidden(!keptInView(m_rows[i]));
}

QVector<ProbeResult> SearchWindow::shownRows() const {
    QVector<ProbeResult> rows;
    for (int i = 0; i < m_items.size(); ++i)
        if (!m_items[i]->isHidden())
            rows.append(m_rows[i]);
    return rows;
}

QByteArray SearchWindow::replyOf(QTreeWidgetItem* item) const {
    const qsizetype index = m_items.indexOf(item);
    return index >= 0 && index < m_rows.size() ? m_rows[index].reply : QByteArray();
}

void SearchWindow::showRecords(QTreeWidgetItem* item) {
    const QByteArray reply = replyOf(item);
    if (!reply.isEmpty())
        RecordsView::showWindow(reply, this);
}

void SearchWindow::rowDoubleClicked(QTreeWidgetItem* item) {
    if (!item)
        return;
    // A row that holds the meter's data shows its records as well.
    showRecords(item);
    if (!m_page)
        return;
    const auto cell = [item](int column) { return item->text(column); };
    const std::array<QString, 4> secondary = {
        cell(MeterDataColumns::IdentificationColumn),
        parseListX(cell(MeterDataColumns::ManufacturerColumn),
                   MeterDataColumns::ManufacturerColumn),
        parseListX(cell(MeterDataColumns::VersionColumn), MeterDataColumns::VersionColumn),
        parseListX(cell(MeterDataColumns::MediumColumn), MeterDataColumns::MediumColumn)};
    m_page->takeSearchedMeter(cell(MeterDataColumns::AddressColumn), secondary);
}

void SearchWindow::copyIdentification() {
    if (QTreeWidgetItem* item = m_list->currentItem())
        QGuiApplication::clipboard()->setText(item->text(MeterDataColumns::IdentificationColumn));
}

// ---- the exports ----------------------------------------------------------------------

SearchExport SearchWindow::exportData() const {
    SearchExport e;
    e.rows = shownRows();
    e.portsettings = m_engine->portSettings();
    e.excludeManufacturer = m_maskExclude->text();
    e.identificationFromData = m_secReqUd2->isChecked();
    for (int column = 1; column < ColumnCount; ++column)
        e.headers.append(m_list->headerItem()->text(column));
    return e;
}

QString SearchWindow::askFileName(const QString& title, const QString& filter) {
    // The dialog asks before replacing a file and offers existing folders only.
    return QFileDialog::getSaveFileName(this, title, QString(), filter);
}

void SearchWindow::saveCsv() {
    const QString path = askFileName(text(TextSaveCsvTitle), saveFilters("(*.csv)"));
    if (path.isEmpty())
        return;
    const SaveResult result = writeSearchCsv(path, exportData());
    if (!result.ok)
        QMessageBox::critical(this, wizardtext::saveErrorTitle(),
                              wizardtext::shown(result.message()));
}

void SearchWindow::saveReport() {
    const QString path = askFileName(text(TextSaveReportTitle), saveFilters("(*.txt)"));
    if (path.isEmpty())
        return;
    const SaveResult result = appendSearchReport(path, exportData());
    if (!result.ok)
        QMessageBox::critical(this, wizardtext::saveErrorTitle(),
                              wizardtext::shown(result.message()));
}

} // namespace kestrune
