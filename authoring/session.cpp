#include "authoring/session.h"

#include "authoring/rowbuilder.h"
#include "catalogue/shadercatalogue.h"
#include "mtls/libraryfile.h"
#include "mtls/textures.h"

#include <QSet>
#include <algorithm>
#include <functional>

namespace authoring {

namespace {

const char* const InvalidFileMessage = "Invalid File";

Step refused(const Session& before, const mtls::Refusal& refusal)
{
    return {before, refusal, {}, {}};
}

// An empty row of the grid's width: what a new table row holds before anything is set.
mtls::GridRow emptyRow(const mtls::MaterialGrid& grid)
{
    return mtls::GridRow(grid.columnCount);
}

// Puts the new material's row where the window puts it and gives its row number.
int placeRow(Session& session)
{
    mtls::MaterialGrid& grid = session.grid;
    // The empty view's single column is no library: its rows give way to the new one.
    int row = grid.columnCount == 1 ? 0 : grid.rows.size();
    if (session.swapPending && session.swapRow >= 0 && session.swapRow < grid.rows.size()) {
        row = session.swapRow;
        if (row == session.cutRow)
            session.cutRow = -1; // a whole material takes its place
        grid.rows[row] = emptyRow(grid);
    } else {
        grid.rows.resize(row + 1);
        grid.rows[row] = emptyRow(grid);
    }
    session.swapPending = false;
    return row;
}

// The rows a write takes: all but a material the file cut, which is never saved half.
mtls::MaterialGrid writable(const Session& state)
{
    mtls::MaterialGrid grid = state.grid;
    if (state.cutRow >= 0 && state.cutRow < grid.rows.size())
        grid.rows.remove(state.cutRow);
    return grid;
}

void setRow(mtls::MaterialGrid& grid, int row, const mtls::GridRow& cells)
{
    if (grid.columnCount < cells.size()) {
        grid.columnCount = cells.size();
        for (mtls::GridRow& each : grid.rows)
            each.resize(grid.columnCount);
    }
    // Every cell of the new row gets an item, an empty one where the builder left none.
    for (int c = 0; c < cells.size(); ++c)
        grid.rows[row][c] = cells[c].value_or(QString());
}

} // namespace

Session Session::cleared()
{
    Session session;
    session.dictionary = QStringList{QString(), QString()};
    session.grid.columnCount = 1;
    session.grid.rows = {mtls::GridRow(1), mtls::GridRow(1)};
    return session;
}

QString caption(const QString& file)
{
    return file.mid(file.lastIndexOf(QLatin1Char('/')) + 1) + QStringLiteral("   ");
}

QString statusLine(const mtls::LoadedLibrary& library)
{
    QStringList notices;
    if (library.truncated && library.claimedMaterials == 0)
        notices << QStringLiteral("The file is truncated: no material could be read.");
    else if (library.truncated)
        notices << QStringLiteral("The file is truncated: %1 of %2 materials could be read.")
                       .arg(library.grid.rows.size())
                       .arg(library.claimedMaterials);
    notices << library.textureNotice;
    notices.removeAll(QString());
    return notices.join(QLatin1Char(' '));
}

OpenedLibrary openBytes(const QByteArray& data, Opening upTo, ShaderCatalogue* catalogue)
{
    OpenedLibrary opened;
    // Counted before anything is built: a library too large to show teaches nothing.
    if ((opened.refusal = mtls::tooLarge(data)))
        return opened;
    opened.block = mtls::decode(data);
    if (!opened.block) {
        opened.refusal =
            mtls::refusal(mtls::Refusal::NotLibrary, QLatin1String(InvalidFileMessage));
        return opened;
    }
    opened.data = data;
    if (upTo == Opening::Teach && catalogue)
        opened.library = mtls::loadBlock(*opened.block, *catalogue);
    else if (upTo != Opening::Decode)
        opened.library = mtls::layoutBlock(*opened.block);
    return opened;
}

OpenedLibrary openLibrary(const QString& path, Opening upTo, ShaderCatalogue* catalogue)
{
    const mtls::FileBytes file = mtls::readLibraryFile(path);
    if (file.refusal) {
        OpenedLibrary opened;
        opened.refusal = file.refusal;
        return opened;
    }
    return openBytes(file.data, upTo, catalogue);
}

namespace {

Step shown(const Session& before, OpenedLibrary opened, const QString& path)
{
    if (opened.refusal)
        return refused(before, opened.refusal);
    mtls::LoadedLibrary& library = *opened.library;
    Session after;
    after.dictionary.reserve(library.dictionary.size());
    for (const mtls::DictionaryEntry& entry : library.dictionary)
        after.dictionary.append(entry.text);
    after.grid = library.grid;
    after.cutRow = library.lastRowCut ? library.grid.rows.size() - 1 : -1;
    after.currentFile = path;
    after.swapPending = before.swapPending;
    after.swapRow = before.swapRow;
    library.records.clear(); // taught already; the view does not need them
    library.source = opened.data;
    library.textureNotice =
        mtls::textureStatusLine(mtls::textureReferences(*opened.block, path), path);
    after.loaded = std::move(library);
    return {after, {}, {}, {}};
}

} // namespace

Step loadBytes(const Session& before, const QByteArray& data, const QString& path,
               ShaderCatalogue& catalogue)
{
    return shown(before, openBytes(data, Opening::Teach, &catalogue), path);
}

Step loadFile(const Session& before, const QString& path, ShaderCatalogue& catalogue)
{
    return shown(before, openLibrary(path, Opening::Teach, &catalogue), path);
}

mtls::WriteResult writeWorkingFile(const Session& state, const QString& path,
                                   const ShaderCatalogue& catalogue)
{
    mtls::WriteOptions options;
    options.preview = true;
    mtls::WriteResult result =
        mtls::writeLibrary(writable(state), state.dictionary, catalogue, options);
    if (result.refusal || path.isEmpty())
        return result;
    result.refusal = mtls::storeLibrary(path, result);
    if (result.refusal)
        result.bytes.clear();
    return result;
}

Step addMaterial(const Session& before, const QString& name, const QString& shader,
                 const QString& workingPath, ShaderCatalogue& catalogue)
{
    Session session = before;
    const int row = placeRow(session);
    setRow(session.grid, row,
           buildMaterialRow(row, name, shader, catalogue.shaderCells(shader),
                            catalogue.paramCount(shader)));
    const mtls::WriteResult result = writeWorkingFile(session, workingPath, catalogue);
    if (result.refusal)
        return refused(before, result.refusal);
    // The reload reads back exactly what was committed.
    Step reloaded = loadBytes(session, result.bytes, workingPath, catalogue);
    if (!reloaded.done())
        return refused(before, reloaded.refusal);
    // The working file is no file of the user's: a save has nothing to compare with it.
    reloaded.session.loaded->source.clear();
    reloaded.hashLines = result.hashDebugLines;
    return reloaded;
}

Step replaceMaterial(const Session& before, int row, const QString& name, const QString& shader,
                     const QString& workingPath, ShaderCatalogue& catalogue)
{
    Session swapping = before;
    swapping.swapPending = true;
    swapping.swapRow = row;
    Step step = addMaterial(swapping, name, shader, workingPath, catalogue);
    if (!step.done())
        step.session = before;
    return step;
}

Step editCell(const Session& before, int row, int column, const mtls::Cell& text)
{
    if (row < 0 || row >= before.grid.rows.size() || column < 0 ||
        column >= before.grid.columnCount)
        return refused(
            before,
            mtls::refusal(mtls::Refusal::Usage,
                          QStringLiteral("No cell at row %1, column %2.").arg(row).arg(column)));
    if (column == mtls::CountColumn && !mtls::parameterCount(text.value_or(QString())))
        return refused(before,
                       mtls::refusal(mtls::Refusal::Content,
                                     QStringLiteral("SubMtls # takes a whole number from 0 to "
                                                    "65535, not \"%1\".")
                                         .arg(text.value_or(QString()))));
    Session after = before;
    mtls::GridRow& cells = after.grid.rows[row];
    if (cells.size() <= column)
        cells.resize(after.grid.columnCount);
    cells[column] = text;
    return {after, {}, {}, {}};
}

Step deleteRows(const Session& before, const QVector<int>& rows)
{
    Session after = before;
    QVector<int> doomed = rows;
    std::sort(doomed.begin(), doomed.end(), std::greater<int>());
    doomed.erase(std::unique(doomed.begin(), doomed.end()), doomed.end());
    for (const int row : doomed)
        if (row >= 0 && row < after.grid.rows.size())
            after.grid.rows.remove(row);
    if (after.grid.rows.size() == before.grid.rows.size())
        return refused(before, mtls::refusal(mtls::Refusal::Usage,
                                             QStringLiteral("Select the materials to delete.")));
    for (int r = 0; r < after.grid.rows.size(); ++r)
        if (after.grid.rows[r].size() > mtls::IndexColumn)
            after.grid.rows[r][mtls::IndexColumn] = QString::number(r);
    after.swapPending = false;
    if (after.cutRow >= 0) {
        const auto gone = std::count_if(doomed.cbegin(), doomed.cend(),
                                        [&](int row) { return row <= before.cutRow; });
        after.cutRow = std::count(doomed.cbegin(), doomed.cend(), before.cutRow)
                           ? -1
                           : before.cutRow - int(gone);
    }
    return {after, {}, {}, {}};
}

QString rowProblem(const Session& state, int row, const ShaderCatalogue& catalogue)
{
    if (row < 0 || row >= state.grid.rows.size())
        return QString();
    const QString name = state.grid.text(row, mtls::ModelIdColumn);
    const QString who = name.isEmpty() ? QStringLiteral("Material %1").arg(row)
                                       : QStringLiteral("Material \"%1\"").arg(name);
    if (name.trimmed().isEmpty())
        return who + QStringLiteral(": the Model_ID is empty.");
    if (state.grid.text(row, mtls::MainShaderColumn).trimmed().isEmpty())
        return who + QStringLiteral(": the Main Shader is empty.");
    // The row alone, written as the working write would: the save's own rules, not a copy.
    mtls::MaterialGrid single;
    single.columnCount = state.grid.columnCount;
    single.rows = {state.grid.rows[row]};
    mtls::WriteOptions options;
    options.preview = true;
    const mtls::WriteResult result = mtls::writeLibrary(single, {}, catalogue, options);
    if (result.refusal.kind == mtls::Refusal::Content)
        return who + QStringLiteral(": ") + result.refusal.text +
               QStringLiteral(" (a save refuses this)");
    return QString();
}

Learnt learnFile(const QString& path, ShaderCatalogue& catalogue)
{
    Learnt learnt;
    const OpenedLibrary opened = openLibrary(path, Opening::LayOut);
    if ((learnt.refusal = opened.refusal))
        return learnt;
    const mtls::LoadedLibrary& library = *opened.library;
    // What the catalogue lacks before the records go in is what this load adds.
    auto isShaderKey = [](const QString& key) {
        return key.startsWith(QLatin1String("Params/")) ||
               key.startsWith(QLatin1String("Shaders/")) || key.startsWith(QLatin1String("Flags/"));
    };
    QSet<QString> absentNames;
    for (const mtls::CatalogueRecord& record : library.records)
        if (!isShaderKey(record.key) && !catalogue.contains(record.key))
            absentNames.insert(record.key);
    const int shadersBefore = catalogue.shaderNames().size();
    for (const mtls::CatalogueRecord& record : library.records)
        catalogue.record(record.key, record.value);
    learnt.shaders = catalogue.shaderNames().size() - shadersBefore;
    learnt.names = int(std::count_if(absentNames.cbegin(), absentNames.cend(),
                                     [&](const QString& key) { return catalogue.contains(key); }));
    return learnt;
}

ModelPlan readModelPlan(const QString& path)
{
    // Mapped, not read into memory: a model is followed to its end whatever its size.
    const ModelFileRead read = readModelFileAt(path);
    if (read.refusal)
        return {{}, read.refusal, false};
    if (!read.model)
        return {
            {}, mtls::refusal(mtls::Refusal::NotLibrary, QLatin1String(InvalidFileMessage)), false};
    return {materialPlan(*read.model), {}, read.model->damaged};
}

Step importModel(const Session& before, const QVector<PlannedMaterial>& plan,
                 const QString& workingPath, ShaderCatalogue& catalogue)
{
    Step built{before, {}, {}, {}};
    built.session.swapPending = false;
    // Shaders nobody taught yet give materials without parameters: the import says how many.
    const auto unknown = std::count_if(plan.cbegin(), plan.cend(), [&](const PlannedMaterial& m) {
        return !catalogue.contains(ShaderCatalogue::shadersKey(m.shader));
    });
    const QString notice =
        unknown == 0 ? QString()
                     : QStringLiteral("%1 of %2 materials got no parameters: their shaders are "
                                      "not in the catalogue yet (index a game folder first: Edit "
                                      "> Index Shaders).")
                           .arg(unknown)
                           .arg(plan.size());
    for (const PlannedMaterial& material : plan) {
        Step next =
            addMaterial(built.session, material.name, material.shader, workingPath, catalogue);
        if (!next.done()) {
            built.refusal = next.refusal;
            return built;
        }
        built.session = std::move(next.session);
        built.session.notice = notice;
        built.hashLines += next.hashLines;
    }
    return built;
}

namespace {

// Edits since the load are the user's own changes: only a library saved as it was loaded is
// compared with the file it came from.
QString saveNotice(const Session& state, const QByteArray& written)
{
    if (!state.loaded || state.loaded->source.isEmpty() || !(state.grid == state.loaded->grid) ||
        state.dictionary.size() != state.loaded->dictionary.size())
        return QString();
    for (int i = 0; i < state.dictionary.size(); ++i)
        if (state.dictionary.at(i) != state.loaded->dictionary.at(i).text)
            return QString();
    const QString summary = mtls::savedSummary(state.loaded->source, written);
    if (summary.isEmpty())
        return QString();
    return QStringLiteral("Saved with changes: %1; `mtls check` lists them.").arg(summary);
}

} // namespace

Step saveLibrary(const Session& before, const QString& path, const ShaderCatalogue& catalogue)
{
    mtls::WriteOptions options;
    options.savePath = mtls::absolutePath(path);
    const mtls::WriteResult result =
        mtls::writeLibrary(writable(before), before.dictionary, catalogue, options);
    if (result.refusal.kind == mtls::Refusal::Content)
        return refused(before, result.refusal);
    if (const mtls::Refusal failed = mtls::storeLibrary(path, result))
        return refused(before, failed);
    // The materials ahead of one that stops the save at the string limit were hashed too.
    Step saved{before, result.refusal, result.hashDebugLines, QString()};
    if (!result.refusal)
        saved.notice = saveNotice(before, result.bytes);
    return saved;
}

} // namespace authoring
