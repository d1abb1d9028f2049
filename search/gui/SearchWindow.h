#pragma once

#include "search/SearchEngine.h"
#include "search/SearchExport.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <memory>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace kestrune {

class MeterFeaturesPage;
class WizardFrame;

// Kestrune_Search: finds the meters on the bus by primary address scan or
// secondary address tree search (the search itself is SearchEngine), shows
// every probe as a row of ListView_Search, saves the list as a CSV file or
// a text report, and hands a chosen row to page 60's address boxes by
// double-click. One instance, opened by page 60's Search button; it restores
// its settings each time it opens and stores them when it closes.
class SearchWindow : public QWidget, private SearchQuestions {
    Q_OBJECT
public:
    // Shows the window (creating it on first use) in front of the wizard.
    // page receives the double-clicked rows.
    static SearchWindow* showWindow(WizardFrame& frame, MeterFeaturesPage* page);
    static SearchWindow* instance();
    // The captions of the speed buttons from the table of the active family
    // (after the time-out dialog stored it). No effect while closed.
    static void refreshSpeedButtons();

    ~SearchWindow() override;

    SearchEngine& engine() { return *m_engine; }

    // Command_Search_Click: one whole search; returns when it ends.
    void search();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    SearchWindow(WizardFrame& frame, QWidget* parent);

    void buildControls();
    void setCaptions();
    void connectControls();
    // Form_Load / Form_Unload: the per-user settings.
    void loadSettings();
    void storeSettings();

    // The search as the controls describe it; with the link, the shell's
    // answers and the stored choices for a start.
    SearchSettings controlSettings() const;
    SearchSettings searchSettings() const;
    void validateSettings();
    void methodClicked(int index);
    void fabricationClicked(bool checked);
    void selectionMasksChanged();
    void speedButtonClicked(int button);
    void searchFinished();

    // The engine's rows in the list.
    void addRow(int index, const ProbeResult& row);
    void changeRow(int index, const ProbeResult& row);
    void showRow(QTreeWidgetItem* item, const ProbeResult& row);
    // Check_ViewFoundOnly: rows the filter drops are hidden.
    void applyFilter();
    bool keptInView(const ProbeResult& row) const;
    // The rows on show, for the exports.
    QVector<ProbeResult> shownRows() const;

    void rowDoubleClicked(QTreeWidgetItem* item);
    // The REQ_UD2 reply a row holds (empty when its probe read none), and
    // the records window for it.
    QByteArray replyOf(QTreeWidgetItem* item) const;
    void showRecords(QTreeWidgetItem* item);
    void copyIdentification();
    void saveCsv();
    void saveReport();
    // The save dialog; empty when cancelled.
    QString askFileName(const QString& title, const QString& filter);
    SearchExport exportData() const;

    bool confirmK2Speed(const QString& question) override;
    bool confirmUnknownSpeed(const QString& question) override;

    WizardFrame& m_frame;
    QPointer<MeterFeaturesPage> m_page;
    std::unique_ptr<SearchEngine> m_engine;
    SearchMethod m_shownMethod = SearchMethod::Primary; // of the rows in the list
    QVector<QTreeWidgetItem*> m_items;                  // by the engine's row index
    QVector<ProbeResult> m_rows;

    QGroupBox* m_frameMethod = nullptr;
    std::array<QRadioButton*, 2> m_method{};
    QCheckBox* m_viewFoundOnly = nullptr;

    QGroupBox* m_framePrimary = nullptr;
    QLabel* m_labelFirst = nullptr;
    QLabel* m_labelLast = nullptr;
    QLineEdit* m_low = nullptr;
    QLineEdit* m_high = nullptr;
    QCheckBox* m_sndNke = nullptr;
    QCheckBox* m_reqUd2 = nullptr;

    QGroupBox* m_frameSecondary = nullptr;
    QLabel* m_labelMaskId = nullptr;
    QLabel* m_labelMaskMnfct = nullptr;
    QLabel* m_labelMaskVersion = nullptr;
    QLabel* m_labelMaskMedia = nullptr;
    QLabel* m_labelExclude = nullptr;
    QLabel* m_labelExcludeMnfct = nullptr;
    QLineEdit* m_maskId = nullptr;
    QLineEdit* m_maskMnfct = nullptr;
    QLineEdit* m_maskVersion = nullptr;
    QLineEdit* m_maskMedia = nullptr;
    QLineEdit* m_maskExclude = nullptr;
    QCheckBox* m_secReqUd2 = nullptr;
    QGroupBox* m_frameFast = nullptr;
    QCheckBox* m_useFabrication = nullptr;
    QLineEdit* m_fabrication = nullptr;

    QGroupBox* m_frameTimeout = nullptr;
    std::array<QRadioButton*, SpeedChoiceCount> m_speed{};

    QPushButton* m_search = nullptr;
    QPushButton* m_abort = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_saveCsv = nullptr;
    QPushButton* m_exit = nullptr;

    QTreeWidget* m_list = nullptr;
    QProgressBar* m_progress = nullptr;
    std::array<QLabel*, 4> m_panels{}; // status bar panels 1..4
};

} // namespace kestrune
