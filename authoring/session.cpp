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
    session.grid.rows.fill(mtls::GridRow(session.grid.columnCount), 2); // empty rows
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
    int& cut = after.cutRow;
    for (const int row : doomed) // from the last: each row number still names its row
        if (row >= 0 && row < after.grid.rows.size()) {
            after.grid.rows.remove(row);
            if (row < cut)
                --cut;
            else if (row == cut)
                cut = -1; // what is left is whole
        }
    if (after.grid.rows.size() == before.grid.rows.size())
        return refused(before, mtls::refusal(mtls::Refusal::Usage,
                                             QStringLiteral("Select the materials to delete.")));
    for (int r = 0; r < after.grid.rows.size(); ++r)
        if (after.grid.rows[r].size() > mtls::IndexColumn)
            after.grid.rows[r][mtls::IndexColumn] = QString::number(r);
    after.swapPending = false;
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

namespace {

// The working file's dictionary as one add after another grows it: each write keeps the texts
// that stood, appends its new ones and ends with "". A reference takes the first copy of its
// text; a load finds a string only where one starts.
class GrowingDictionary {
public:
    explicit GrowingDictionary(const QStringList& start) { append(start); }

    void append(const QStringList& more)
    {
        const QVector<qint64> starts = mtls::dictionaryOffsets(more);
        for (int i = 0; i < more.size(); ++i) {
            if (!first.contains(more[i]))
                first.insert(more[i], texts.size());
            texts.append(more[i]);
            offsets.append(size + starts[i]);
        }
        size += starts.last();
    }
    bool contains(const QString& text) const { return first.contains(text); }
    qint64 offsetOf(const QString& text) const { return offsets.at(first.value(text)); }
    std::optional<mtls::DictionaryEntry> entryAt(qint64 offset) const
    {
        const auto found = std::lower_bound(offsets.cbegin(), offsets.cend(), offset);
        if (found == offsets.cend() || *found != offset)
            return std::nullopt;
        mtls::DictionaryEntry entry;
        entry.text = texts.at(int(found - offsets.cbegin()));
        entry.offset = quint32(offset);
        return entry;
    }

    QStringList texts;

private:
    QVector<qint64> offsets;
    QHash<QString, int> first;
    qint64 size = 0;
};

// Texts a block gives back as they went in: no zero character to cut them, nothing UTF-8 loses.
bool keptWhole(const QStringList& texts)
{
    return std::all_of(texts.cbegin(), texts.cend(), [](const QString& text) {
        return !text.contains(QChar()) && QString::fromUtf8(text.toUtf8()) == text;
    });
}

// The record of a material written alone, its references moved to the first copies of their
// texts in `dictionary`, where the add's write of the whole library points them; nothing when
// one lies past what a field holds.
std::optional<mtls::Material> movedRecord(const mtls::WriteResult& alone,
                                          const GrowingDictionary& dictionary)
{
    const std::optional<mtls::Block> block = mtls::decode(alone.bytes); // one row, one record
    if (!block)
        return std::nullopt;
    const QVector<qint64> starts = mtls::dictionaryOffsets(alone.dictionary);
    QHash<qint64, QString> textAt;
    for (int i = 0; i < alone.dictionary.size(); ++i)
        textAt.insert(starts[i], alone.dictionary[i]);
    bool inReach = true;
    auto moved = [&](quint16 field) {
        const auto text = textAt.constFind(field);
        const qint64 offset =
            text != textAt.cend() && dictionary.contains(*text) ? dictionary.offsetOf(*text) : -1;
        inReach = inReach && offset >= 0 && offset <= 0xFFFF;
        return quint16(offset);
    };
    mtls::Material record = block->materials.first();
    record.modelId = moved(record.modelId);
    record.mainShader = moved(record.mainShader);
    record.variant = moved(record.variant);
    for (mtls::Item& item : record.items) {
        item.name = moved(item.name);
        if (item.type == 4) // the value's text; types 1 and 3 carry the catalogue's own words
            item.first = moved(item.valueWord());
    }
    return inReach ? std::optional<mtls::Material>(record) : std::nullopt;
}

// What the add's reload shows for `record` and teaches: the load's own layout, over the strings
// of the dictionary that the record reaches.
mtls::LoadedLibrary reloadedAlone(const mtls::Material& record, const GrowingDictionary& dictionary)
{
    QVector<qint64> reached{record.modelId, record.mainShader, record.variant};
    for (const mtls::Item& item : record.items)
        reached << item.name << (item.hasValueWord() ? item.valueWord() : 0);
    std::sort(reached.begin(), reached.end());
    reached.erase(std::unique(reached.begin(), reached.end()), reached.end());
    mtls::Block block;
    for (const qint64 offset : reached)
        if (const std::optional<mtls::DictionaryEntry> entry = dictionary.entryAt(offset))
            block.dictionary.append(*entry);
    block.materialCount = 1;
    block.materials = {record};
    return mtls::layoutBlock(block);
}

// Whether `result` holds exactly `texts` and `records`, what the adds themselves wrote, and so
// whether every add before it wrote its rows back as they were. Between two adds a row's cells
// change only where an entry of type 1 to 3 shows the string that starts at its value word,
// once one does. A write skips such a value unless it names a parameter, and then this write
// would not give the record back either; a space in it, though, would have had that add write
// a new text.
bool writesBack(const mtls::WriteResult& result, const QStringList& texts,
                const QVector<mtls::Material>& records)
{
    const std::optional<mtls::Block> block = mtls::decode(result.bytes);
    if (!block || result.dictionary != texts || !(block->materials == records))
        return false;
    const mtls::DictionaryIndex index(block->dictionary);
    for (const mtls::Material& record : block->materials)
        for (const mtls::Item& item : record.items)
            if (item.hasValueWord() && item.type != 4 && item.valueWord() != 0 &&
                index.at(item.valueWord()).contains(QLatin1Char(' ')))
                return false;
    return true;
}

// Adds the materials of `plan` from `from` on as one add after another would, without writing
// the whole library for each. Each material is written alone against the catalogue as its add
// meets it; its record, moved onto the dictionary as that add's write grows it, is laid out as
// the add's reload lays it out, which teaches what that reload teaches. One write of all rows
// then gives the last add's library, when it gives back every record (writesBack). Stops
// before a material whose add refuses or that it cannot follow; returns the next material to
// add, `from` when it took none and changed nothing.
int addInOneWrite(Step& built, const QVector<PlannedMaterial>& plan, int from,
                  const QString& workingPath, ShaderCatalogue& catalogue)
{
    const Session start = built.session;
    const int firstRow = start.grid.rows.size();
    ShaderCatalogue trial = catalogue.snapshot();
    GrowingDictionary dictionary(start.dictionary);
    Session shown = start; // the rows as each reload shows them
    QVector<mtls::Material> records = mtls::decode(start.loaded->source)->materials;
    QVector<mtls::CatalogueRecord> lessons;
    struct Taken {
        int texts;   // the dictionary its add's write ends with, the trailing "" aside
        int lessons; // what the reloads up to its own taught
    };
    QVector<Taken> taken;
    for (int next = from; next < plan.size(); ++next) {
        Session alone;
        alone.grid.rows = {buildMaterialRow(shown.grid.rows.size(), plan[next].name,
                                            plan[next].shader, trial.shaderCells(plan[next].shader),
                                            trial.paramCount(plan[next].shader))};
        const mtls::WriteResult written = writeWorkingFile(alone, QString(), trial);
        if (written.refusal || !keptWhole(written.dictionary))
            break;
        for (const QString& text : written.dictionary)
            if (!dictionary.contains(text))
                dictionary.append({text});
        const int texts = dictionary.texts.size();
        dictionary.append({QString()});
        const std::optional<mtls::Material> record = movedRecord(written, dictionary);
        if (!record)
            break;
        const mtls::LoadedLibrary reloaded = reloadedAlone(*record, dictionary);
        for (const mtls::CatalogueRecord& lesson : reloaded.records)
            trial.record(lesson.key, lesson.value);
        lessons += reloaded.records;
        shown.grid.rows += reloaded.grid.rows;
        records.append(*record);
        taken.append({texts, lessons.size()});
    }
    auto writeTaken = [&](int count) {
        Session state = shown;
        state.grid.rows.resize(firstRow + count);
        state.dictionary = dictionary.texts.mid(0, taken[count - 1].texts);
        return writeWorkingFile(state, QString(), trial);
    };
    int count = taken.size();
    if (count == 0)
        return from;
    mtls::WriteResult result = writeTaken(count);
    // The first add to meet the string limit is the one of the record that did not fit.
    if (result.refusal.kind == mtls::Refusal::StringLimit && result.refusedRow > firstRow)
        result = writeTaken(count = result.refusedRow - firstRow);
    if (result.refusal || mtls::tooLarge(result.bytes) ||
        !writesBack(result, dictionary.texts.mid(0, taken[count - 1].texts + 1),
                    records.mid(0, firstRow + count)))
        return from;
    if (!workingPath.isEmpty() && mtls::storeLibrary(workingPath, result))
        return from;
    for (int i = 0; i < taken[count - 1].lessons; ++i)
        catalogue.record(lessons[i].key, lessons[i].value);
    built.session = loadBytes(start, result.bytes, workingPath, catalogue).session;
    built.hashLines += result.hashDebugLines;
    return from + count;
}

} // namespace

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
    // Each add writes and reloads the whole library. After the first add (and any while the
    // dictionary has the empty view's two rows, which the next write drops) the rest go in one
    // write; where that stops, the next material is added by itself (mostly to be refused),
    // and the rest go in one write again as long as that keeps taking materials.
    bool worthTrying = true; // no try in one write yet, or the last one took materials
    bool justTried = false;  // and no material was added by itself since
    for (int next = 0; next < plan.size();) {
        if (worthTrying && !justTried && next > 0 && built.session.dictionary.size() != 2) {
            const int reached = addInOneWrite(built, plan, next, workingPath, catalogue);
            justTried = true;
            worthTrying = reached > next;
            if (worthTrying) {
                built.session.notice = notice;
                next = reached;
                continue;
            }
        }
        Step step =
            addMaterial(built.session, plan[next].name, plan[next].shader, workingPath, catalogue);
        if (!step.done()) {
            built.refusal = step.refusal;
            return built;
        }
        built.session = std::move(step.session);
        built.session.notice = notice;
        built.hashLines += step.hashLines;
        ++next;
        justTried = false;
    }
    return built;
}

namespace {

// Edits since the load are the user's own changes: only a library saved as it was loaded is
// compared with the file it came from.
QString saveNotice(const Session& state, const QByteArray& written)
{
    if (!state.loaded || !(state.grid == state.loaded->grid) ||
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
