// The comforts around the Parts' window: teaching the catalogue a whole game folder, finding
// materials, recent files, the window's place, and the status bar's permanent lines.
#include "app/mainwindow.h"

#include "authoring/session.h"
#include "catalogue/shadercatalogue.h"
#include "ui_mainwindow.h"

#include <QDir>
#include <QDirIterator>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <memory>

namespace {

constexpr int RecentFiles = 8;
const char* const RecentKey = "recentFiles";
const char* const FolderKey = "lastFolder";
const char* const GeometryKey = "window/geometry";

std::unique_ptr<QSettings> userSettings()
{
    return std::make_unique<QSettings>(MainWindow::settingsPath(), QSettings::IniFormat);
}

// Every .mtls file below `folder`, at any depth; links to folders are not followed, so a link
// back to a parent cannot make the walk endless.
QStringList librariesBelow(const QString& folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileInfo().suffix().compare(QLatin1String("mtls"), Qt::CaseInsensitive) == 0)
            found.append(path);
    }
    found.sort();
    return found;
}

} // namespace

QString MainWindow::settingsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/lathrine/lathrine.ini");
}

void MainWindow::setupWorkbench()
{
    // The menus answer Alt and their first letter.
    ui->menuFile->setTitle(tr("&File"));
    ui->menuEdit->setTitle(tr("&Edit"));
    ui->menuHelp->setTitle(tr("&Help"));
    // The Parts' shortcuts stay first.
    ui->actionOpen_MDL->setShortcuts({ui->actionOpen_MDL->shortcut(), QKeySequence::Open});
    ui->actionExit->setShortcut(QKeySequence(Qt::CTRL + Qt::Key_Q));

    recentMenu = new QMenu(tr("Open Recent"), this);
    recentMenu->setObjectName(QStringLiteral("menuOpen_Recent"));
    ui->menuFile->insertMenu(ui->actionExit, recentMenu);
    rebuildRecentMenu();

    auto* find = new QAction(tr("Find"), this);
    find->setObjectName(QStringLiteral("actionFind"));
    find->setShortcut(QKeySequence(Qt::CTRL + Qt::Key_F));
    connect(find, &QAction::triggered, this, &MainWindow::showFilter);
    ui->menuEdit->addAction(find);

    catalogueInfo = new QAction(tr("Shader Catalogue..."), this);
    catalogueInfo->setObjectName(QStringLiteral("actionCatalogue"));
    ui->menuHelp->addAction(catalogueInfo);
    // Asked each time: a catalogue file can appear in the current directory while it runs.
    connect(catalogueInfo, &QAction::triggered, this, [this] {
        QMessageBox::information(
            this, tr("Shader Catalogue"),
            tr("The shader catalogue in use is %1.")
                .arg(QDir::toNativeSeparators(ShaderCatalogue::defaultPath())));
    });

    filterField = new QLineEdit(ui->groupBox);
    filterField->setObjectName(QStringLiteral("filterField"));
    filterField->setPlaceholderText(tr("Find materials (Escape shows all)"));
    filterField->setClearButtonEnabled(true);
    filterField->hide();
    filterField->installEventFilter(this);
    static_cast<QGridLayout*>(ui->groupBox->layout())->addWidget(filterField, 1, 1);
    connect(filterField, &QLineEdit::textChanged, this, &MainWindow::applyFilter);

    libraryLine = new QLabel(statusBar());
    libraryLine->setObjectName(QStringLiteral("libraryStatus"));
    statusBar()->addPermanentWidget(libraryLine, 1);
}

void MainWindow::restoreRememberedGeometry()
{
    const QByteArray geometry = userSettings()->value(QLatin1String(GeometryKey)).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
}

void MainWindow::saveWindowGeometry()
{
    userSettings()->setValue(QLatin1String(GeometryKey), saveGeometry());
}

void MainWindow::on_actionIndex_Shaders_triggered()
{
    const QString folder =
        QFileDialog::getExistingDirectory(this, tr("Index Shaders"), startFolder());
    if (folder.isEmpty())
        return;
    userSettings()->setValue(QLatin1String(FolderKey), folder);
    const QStringList libraries = librariesBelow(QDir::fromNativeSeparators(folder));
    QProgressDialog progress(tr("Learning shaders..."), tr("Cancel"), 0, libraries.size(), this);
    progress.setWindowTitle(tr("Index Shaders"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    int shaders = 0, names = 0, read = 0, unread = 0;
    {
        // One catalogue for the walk: it is written once, at the end or on Cancel.
        ShaderCatalogue catalogue;
        for (int i = 0; i < libraries.size() && !progress.wasCanceled(); ++i) {
            progress.setLabelText(
                tr("Learning shaders from %1 of %2 libraries...").arg(i + 1).arg(libraries.size()));
            progress.setValue(i); // lets the window repaint and the Cancel button work
            const authoring::Learnt learnt = authoring::learnFile(libraries[i], catalogue);
            if (learnt.refusal) {
                ++unread;
                continue;
            }
            ++read;
            shaders += learnt.shaders;
            names += learnt.names;
        }
        progress.setValue(libraries.size());
    }
    noteUnsavedCatalogue();
    QString text = tr("Learnt %1 new shaders and %2 new parameter names from %3 libraries.")
                       .arg(shaders)
                       .arg(names)
                       .arg(read);
    if (unread > 0)
        text += QLatin1Char(' ') + tr("%1 files could not be read.").arg(unread);
    QMessageBox::information(this, tr("Index Shaders"), text);
}

void MainWindow::showFilter()
{
    filterField->show();
    filterField->setFocus();
    filterField->selectAll();
}

void MainWindow::applyFilter()
{
    QTableWidget* materials = ui->ExternalTable;
    const QString text = filterField->isVisible() ? filterField->text() : QString();
    const mtls::MaterialGrid& grid = state.grid;
    // Rows are hidden, never removed: every step still works on all of them.
    materials->setUpdatesEnabled(false);
    for (int r = 0; r < materials->rowCount(); ++r) {
        bool shown = text.isEmpty() || !state.loaded;
        const mtls::GridRow row = grid.rows.value(r); // shared, not copied
        for (int c = 0; !shown && c < row.size(); ++c)
            shown = row[c] && row[c]->contains(text, Qt::CaseInsensitive);
        if (materials->isRowHidden(r) == shown)
            materials->setRowHidden(r, !shown);
    }
    materials->setUpdatesEnabled(true);
    // The MODIFY buttons of hidden rows go with them.
    QMetaObject::invokeMethod(materials, "updateEditorGeometries");
    refreshLibraryLine();
}

bool MainWindow::filterKey(QObject* watched, QEvent* event)
{
    if (watched != filterField || event->type() != QEvent::KeyPress ||
        static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape)
        return false;
    filterField->clear();
    filterField->hide();
    applyFilter();
    ui->ExternalTable->setFocus();
    return true;
}

void MainWindow::refreshLibraryLine()
{
    QStringList parts;
    if (state.loaded)
        parts << authoring::statusLine(*state.loaded);
    parts << state.notice;
    if (state.loaded && filterField && filterField->isVisible() && !filterField->text().isEmpty()) {
        int shown = 0;
        for (int r = 0; r < ui->ExternalTable->rowCount(); ++r)
            shown += ui->ExternalTable->isRowHidden(r) ? 0 : 1;
        parts << tr("%1 of %2 materials shown.").arg(shown).arg(ui->ExternalTable->rowCount());
    }
    parts.removeAll(QString());
    libraryLine->setText(parts.join(QLatin1Char(' ')));
}

void MainWindow::rememberFile(const QString& path)
{
    if (path.isEmpty() || path == previewPath())
        return;
    const auto settings = userSettings();
    QStringList recent = settings->value(QLatin1String(RecentKey)).toStringList();
    recent.removeAll(path);
    recent.prepend(path);
    settings->setValue(QLatin1String(RecentKey), QStringList(recent.mid(0, RecentFiles)));
    settings->setValue(QLatin1String(FolderKey), QFileInfo(path).absolutePath());
    settings->sync();
    rebuildRecentMenu();
}

void MainWindow::rebuildRecentMenu()
{
    recentMenu->clear();
    // A hand-edited list may hold more than the menu keeps.
    const QStringList recent =
        userSettings()->value(QLatin1String(RecentKey)).toStringList().mid(0, RecentFiles);
    for (const QString& path : recent) {
        QAction* entry = recentMenu->addAction(QDir::toNativeSeparators(path));
        connect(entry, &QAction::triggered, this, [this, path] {
            if (!maySaveChanges(tr("opening another file")))
                return;
            if (!QFileInfo::exists(path)) {
                const auto settings = userSettings();
                QStringList kept = settings->value(QLatin1String(RecentKey)).toStringList();
                kept.removeAll(path);
                settings->setValue(QLatin1String(RecentKey), kept);
                settings->sync();
                rebuildRecentMenu();
            }
            open_mtl(path); // a missing file gets the open's own warning
        });
    }
    recentMenu->addSeparator();
    QAction* clear = recentMenu->addAction(tr("Clear Menu"));
    clear->setEnabled(!recent.isEmpty());
    connect(clear, &QAction::triggered, this, [this] {
        userSettings()->remove(QLatin1String(RecentKey));
        rebuildRecentMenu();
    });
}

QString MainWindow::startFolder() const
{
    if (!current_file.isEmpty() && current_file != previewPath())
        return QFileInfo(current_file).absolutePath();
    return userSettings()->value(QLatin1String(FolderKey)).toString();
}
