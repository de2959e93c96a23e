#pragma once

#include "authoring/session.h"
#include "mtls/writer.h"

#include <QMainWindow>
#include <QStringList>

class Dialog;
class QDragEnterEvent;
class QDropEvent;
class QLabel;
class QTableWidget;

QT_BEGIN_NAMESPACE
namespace Ui {
class MainWindow;
}
QT_END_NAMESPACE

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    Dialog* dialog = nullptr;
    bool announce_save = false;
    bool swap_pending = false;
    int swap_row = 0;

signals:
    void textFocus(QStringList mainNames);

private slots:
    void open_mtl(QString filename);
    void on_actionExit_triggered();
    void ok(QString filename);
    void on_actionQuorvane_Github_triggered();
    void on_MTL_Button_0_clicked();
    void on_actionOpen_MDL_triggered();
    QString MTLDictionary(int index);
    void dropEvent(QDropEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void rebuild_mtl();
    void on_pushButton_2_clicked();
    void on_actionMerge_Quee_triggered();
    void on_pushButton_clicked();
    void hide_dialog();
    void dialog_clicked(QStringList files);
    void add_material(QString Model_ID, QString Shader);
    void on_actionAdd_Material_triggered();
    void on_actionQueue_All_triggered();
    void formatTable();
    void rebuild_mtltempFile(QString filename);
    void Swap_MTL();
    void on_actionAdd_Swap_Button_triggered();
    void on_actionUnQueue_All_triggered();
    void merge_MDL(QString filename);
    void on_actionEnable_Cell_Edits_triggered();

public:
    Ui::MainWindow* ui;
    QString current_file;

    // Address of the releases page opened from the Help menu.
    static const char* const ReleasesPage;

    // The working file that adding a material writes and shows: beside the program when that
    // folder takes a file, otherwise in the user's data folder for this program.
    static QString previewPath();
    // The folder previewPath() tries first; empty means the program's own. Lets a test stand
    // in for an install that cannot be written.
    static void setProgramFolder(const QString& folder);

    // Opens the first of the files named when the program was started, as "Open MTLs" would.
    void openFiles(const QStringList& paths);

private:
    friend class MainWindowTestAccess;

    // Widgets <-> plain values.
    mtls::MaterialGrid materialGrid() const; // every cell of the materials table as it stands
    QStringList dictionaryColumn() const;    // column 1 of the dictionary table
    authoring::Session session() const;      // the tables, the current file and a pending swap
    void showLibrary(const mtls::LoadedLibrary& library, const QString& filename);
    void showLoaded(const mtls::LoadedLibrary& library, const QString& filename); // + status bar
    void showStep(const authoring::Step& step); // the view cleared, then the step's library
    void warn(const QString& text);
    // The same for a refusal about the file at `path`, with its name and the reason added.
    void warnFile(const QString& path, const QString& text, bool saving = false);
    void openDialogForNewMaterial();
    void deleteSwapButtons();
    // Says once in the status bar when the catalogue file cannot take what loads learn.
    void noteUnsavedCatalogue();
    QLabel* catalogueNotice = nullptr;
    bool windowClosed = false;
    int cutRow = -1; // a material the file cut, shown as far as it was read; never written

    // The MODIFY column sits at 1, ahead of the base layout's Main Shader column.
    static constexpr int SwapColumn = 1;
    // Labels the parameter columns of the base layout shifted by `shift` columns and hides
    // those at and past the used width.
    void formatColumns(int shift, int width);
    void addSwapButtons(); // one per row into the existing swap column

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};
