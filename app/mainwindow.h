#pragma once

#include "authoring/session.h"
#include "mtls/writer.h"

#include <QMainWindow>
#include <QPoint>
#include <QStringList>

#include <optional>

class Dialog;
class QUndoStack;
class QDragEnterEvent;
class QDropEvent;
class QLabel;
class QModelIndex;
class QTableWidget;

QT_BEGIN_NAMESPACE
namespace Ui {
class MainWindow;
}
QT_END_NAMESPACE

class MainWindow : public QMainWindow {
    Q_OBJECT

    // Everything the window shows and edits; the tables render it. Declared first: the named
    // fields below are parts of it.
    authoring::Session state = authoring::Session::cleared();

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    Dialog* dialog = nullptr;
    bool& announce_save = state.announceSave;
    bool& swap_pending = state.swapPending;
    int& swap_row = state.swapRow;
    QString& current_file = state.currentFile;

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
    void on_actionIndex_Shaders_triggered();

public:
    Ui::MainWindow* ui;
    QUndoStack* history = nullptr;

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
    // Puts the window where the last run left it (a first run keeps the form's size).
    void restoreRememberedGeometry();
    // The editor's own settings (window, recent files, last folder), in the user's
    // configuration folder; never the shader catalogue.
    static QString settingsPath();

private:
    friend class MainWindowTestAccess;

    // Widgets <-> plain values.
    mtls::MaterialGrid materialGrid() const; // every cell of the materials table as it stands
    QStringList dictionaryColumn() const;    // column 1 of the dictionary table
    // The state as the widgets show it, after a step, an undo or a redo. `cell` limits the
    // work to one cell of the materials table (x: base column, y: row) when only it changed.
    void applyState(const authoring::Session& next, std::optional<QPoint> cell = std::nullopt);
    void render();
    void showCleared();
    void showLibrary(const mtls::LoadedLibrary& library, const mtls::MaterialGrid& grid);
    // A step the user can undo: from the state now to `after`, named `text` in the menu.
    void pushStep(const QString& text, const authoring::Session& after,
                  std::optional<QPoint> cell = std::nullopt);
    // A user's open: the state becomes `opened` with a history of its own, unmodified.
    void startHistory(const authoring::Session& opened);
    void materialsEdited(const QModelIndex& topLeft, const QModelIndex& bottomRight);
    void deleteSelectedMaterials();
    // Asks before a command that drops unsaved changes: true when it may go on.
    bool maySaveChanges(const QString& doing);
    bool saveLibraryAs(); // the save's guard and dialog; true once a file was written
    bool saveLibrary();   // rebuild_mtl's work; true once a file was written
    void settleSaved(const authoring::Session& saved); // the saved file shown, the state clean
    static void printHashLines(const QStringList& lines);
    void warn(const QString& text);
    // The same for a refusal about the file at `path`, with its name and the reason added.
    void warnFile(const QString& path, const QString& text, bool saving = false);
    void openDialogForNewMaterial();
    void setupHistory();
    void deleteSwapButtons();
    // Says once in the status bar when the catalogue file cannot take what loads learn.
    void noteUnsavedCatalogue();
    QLabel* catalogueNotice = nullptr;
    QLabel* libraryLine = nullptr; // what the library shown has to say; menu hints leave it be
    class QLineEdit* filterField = nullptr;
    class QMenu* recentMenu = nullptr;
    QAction* catalogueInfo = nullptr;
    void setupWorkbench();
    void showFilter();
    void applyFilter();
    void refreshLibraryLine();
    bool filterKey(QObject* watched, QEvent* event); // Escape in the find field
    void rememberFile(const QString& path); // a file opened or saved: recent list, last folder
    void rebuildRecentMenu();
    QString startFolder() const; // where the open and save dialogs start
    void saveWindowGeometry();
    bool windowClosed = false;
    bool rendering = false; // the widgets are being filled from the state

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
