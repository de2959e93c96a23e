// The window's one state and its history: steps the user can undo, the modified marker, and
// the question before a command drops unsaved changes.
#include "app/mainwindow.h"

#include "authoring/dialog.h"
#include "ui_mainwindow.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QUndoCommand>
#include <QUndoStack>

namespace {

// A step between two whole states. Qt's containers share what the two have in common, so a
// step costs what it changed.
class StepCommand : public QUndoCommand {
public:
    using Apply = std::function<void(const authoring::Session&, std::optional<QPoint>)>;
    StepCommand(const QString& text, authoring::Session before, authoring::Session after,
                std::optional<QPoint> cell, Apply apply)
        : QUndoCommand(text), before(std::move(before)), after(std::move(after)), cell(cell),
          apply(std::move(apply))
    {
    }
    void undo() override { apply(before, cell); }
    void redo() override { apply(after, cell); }
    // A save reads the file back: the state after this step is then the saved one.
    void settle(const authoring::Session& saved)
    {
        after = saved;
        cell.reset();
    }

private:
    authoring::Session before, after;
    std::optional<QPoint> cell;
    Apply apply;
};

// What a stored state keeps of the moment: no pending MODIFY, no announcement.
authoring::Session settled(authoring::Session session)
{
    session.swapPending = false;
    session.announceSave = false;
    return session;
}

} // namespace

void MainWindow::applyState(const authoring::Session& next, std::optional<QPoint> cell)
{
    // Undo or redo under an open MODIFY: the row it named may be another one now.
    if (swap_pending && !next.swapPending)
        dialog->hide();
    const bool announce = announce_save;
    state = next;
    announce_save = announce;
    if (!cell) {
        render();
        return;
    }
    // The edit handler hears this change too, and finds the cell already as the state has it.
    const int column = cell->x() == 0 ? 0 : cell->x() + 1;
    const mtls::Cell text = state.grid.rows.value(cell->y()).value(cell->x());
    QTableWidget* materials = ui->ExternalTable;
    if (!text)
        delete materials->takeItem(cell->y(), column);
    else if (QTableWidgetItem* item = materials->item(cell->y(), column))
        item->setText(*text);
    else
        materials->setItem(cell->y(), column, new QTableWidgetItem(*text));
}

void MainWindow::pushStep(const QString& text, const authoring::Session& after,
                          std::optional<QPoint> cell)
{
    noteUnsavedCatalogue(); // whichever step first met a catalogue that cannot be written
    history->push(new StepCommand(
        text, settled(state), settled(after), cell,
        [this](const authoring::Session& s, std::optional<QPoint> c) { applyState(s, c); }));
}

void MainWindow::startHistory(const authoring::Session& opened)
{
    history->clear();
    applyState(opened);
    history->setClean();
}

void MainWindow::settleSaved(const authoring::Session& saved)
{
    if (history->index() > 0)
        static_cast<StepCommand*>(const_cast<QUndoCommand*>(history->command(history->index() - 1)))
            ->settle(settled(saved));
    applyState(saved);
    history->setClean();
}

bool MainWindow::maySaveChanges(const QString& doing)
{
    if (history->isClean())
        return true;
    const QString name = current_file.isEmpty() || current_file == previewPath()
                             ? tr("the new library")
                             : QFileInfo(current_file).fileName();
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, tr("Unsaved Changes"), tr("Save changes to %1 before %2?").arg(name, doing),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Save)
        return saveLibraryAs();
    return answer == QMessageBox::Discard;
}

bool MainWindow::saveLibraryAs()
{
    // The start state leaves the dictionary table one column wide; a load gives it three.
    const bool loaded = ui->ExternalTable->rowCount() >= 1 && ui->OriginalTable->columnCount() != 1;
    if (!loaded) {
        warn(tr("No MTL data loaded. Load/add a Material to save file."));
        return false;
    }
    announce_save = true;
    const bool saved = saveLibrary();
    announce_save = false;
    return saved;
}
