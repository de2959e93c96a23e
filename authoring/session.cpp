#include "authoring/session.h"

#include "authoring/rowbuilder.h"
#include "catalogue/shadercatalogue.h"
#include "mtls/libraryfile.h"
#include "mtls/textures.h"

namespace authoring {

namespace {

const char* const InvalidFileMessage = "Invalid File";

Step refused(const Session& before, const mtls::Refusal& refusal)
{
    return {before, refusal, {}};
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
    if (session.swapRow && *session.swapRow >= 0 && *session.swapRow < grid.rows.size()) {
        row = *session.swapRow;
        grid.rows[row] = emptyRow(grid);
    } else {
        grid.rows.resize(row + 1);
        grid.rows[row] = emptyRow(grid);
    }
    session.swapRow.reset();
    return row;
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

Step loadBytes(const Session& before, const QByteArray& data, const QString& path,
               ShaderCatalogue& catalogue)
{
    // Counted before anything is built: a library too large to show teaches nothing.
    if (const mtls::Refusal tooLarge = mtls::tooLarge(data))
        return refused(before, tooLarge);
    const std::optional<mtls::Block> block = mtls::decode(data);
    if (!block)
        return refused(before,
                       mtls::refusal(mtls::Refusal::NotLibrary, QLatin1String(InvalidFileMessage)));
    std::optional<mtls::LoadedLibrary> library = mtls::loadBlock(*block, catalogue);
    Session after;
    after.dictionary.reserve(library->dictionary.size());
    for (const mtls::DictionaryEntry& entry : library->dictionary)
        after.dictionary.append(entry.text);
    after.grid = library->grid;
    after.currentFile = path;
    after.swapRow = before.swapRow;
    library->records.clear(); // taught already; the view does not need them
    library->textureNotice = mtls::textureStatusLine(mtls::textureReferences(*block, path), path);
    after.loaded = std::move(library);
    return {after, {}, {}};
}

Step loadFile(const Session& before, const QString& path, ShaderCatalogue& catalogue)
{
    const mtls::FileBytes file = mtls::readLibraryFile(path);
    if (file.refusal)
        return refused(before, file.refusal);
    return loadBytes(before, file.data, path, catalogue);
}

mtls::WriteResult writeWorkingFile(const Session& state, const QString& path,
                                   const ShaderCatalogue& catalogue)
{
    mtls::WriteOptions options;
    options.preview = true;
    mtls::WriteResult result = mtls::writeLibrary(state.grid, state.dictionary, catalogue, options);
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
    reloaded.hashLines = result.hashDebugLines;
    return reloaded;
}

Step replaceMaterial(const Session& before, int row, const QString& name, const QString& shader,
                     const QString& workingPath, ShaderCatalogue& catalogue)
{
    Session swapping = before;
    swapping.swapRow = row;
    Step step = addMaterial(swapping, name, shader, workingPath, catalogue);
    if (!step.done())
        step.session = before;
    return step;
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
    Step built{before, {}, {}};
    built.session.swapRow.reset();
    for (const PlannedMaterial& material : plan) {
        Step next =
            addMaterial(built.session, material.name, material.shader, workingPath, catalogue);
        if (!next.done()) {
            built.refusal = next.refusal;
            return built;
        }
        built.session = std::move(next.session);
        built.hashLines += next.hashLines;
    }
    return built;
}

Step saveLibrary(const Session& before, const QString& path, const ShaderCatalogue& catalogue)
{
    mtls::WriteOptions options;
    options.savePath = mtls::absolutePath(path);
    const mtls::WriteResult result =
        mtls::writeLibrary(before.grid, before.dictionary, catalogue, options);
    if (result.refusal.kind == mtls::Refusal::Content)
        return refused(before, result.refusal);
    if (const mtls::Refusal failed = mtls::storeLibrary(path, result))
        return refused(before, failed);
    // The materials ahead of one that stops the save at the string limit were hashed too.
    return {before, result.refusal, result.hashDebugLines};
}

} // namespace authoring
