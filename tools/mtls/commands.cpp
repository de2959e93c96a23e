#include "tools/mtls/commands.h"

#include "catalogue/shadercatalogue.h"
#include "mtls/blockcheck.h"
#include "mtls/libraryfile.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>
#include <algorithm>

namespace cli {

namespace {

const char* const InvalidFileMessage = "Invalid File";

int worse(int a, int b)
{
    return std::max(a, b);
}

QString infoLine(const QString& path, const mtls::BlockSummary& summary)
{
    const mtls::Block& block = summary.block;
    const QStringList& names = summary.shaders;
    QString line =
        path + QStringLiteral(": %1 materials, %2 strings, %3 dictionary bytes, %4 shaders")
                   .arg(block.materialCount)
                   .arg(block.stringCount)
                   .arg(block.stringTableSize)
                   .arg(names.size());
    if (!names.isEmpty())
        line += QStringLiteral(": ") + names.join(QStringLiteral(", "));
    if (block.truncated)
        line += QStringLiteral("; truncated, %1 of %2 materials read")
                    .arg(block.materialsRead)
                    .arg(block.materialCount);
    return line;
}

bool isModelFile(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('.')) + 1).toLower() == QLatin1String("mdl");
}

} // namespace

const char* const NothingLoadedMessage = "No MTL data loaded. Load/add a Material to save file.";

QString savePathOf(const QString& path)
{
    return mtls::absolutePath(path);
}

bool isStandardOutput(const QString& path)
{
    return path == QLatin1String("-");
}

mtls::Refusal outputRefusal(const QString& path)
{
    return isStandardOutput(path) ? mtls::Refusal() : mtls::outputRefusal(path);
}

int storeOutput(const QString& out, const mtls::WriteResult& result, Streams io)
{
    if (!isStandardOutput(out))
        return refuse(io.err, out, mtls::storeLibrary(out, result));
    io.out.flush();
    QIODevice* device = io.out.device();
    if (!device || device->write(result.bytes) != result.bytes.size())
        return refuse(
            io.err, QStringLiteral("standard output"),
            mtls::refusal(mtls::Refusal::Io, QStringLiteral("Cannot write file : ") +
                                                 (device ? device->errorString() : QString())));
    return Success;
}

void report(QTextStream& err, const QString& path, const QString& text)
{
    err << "mtls: " << QDir::toNativeSeparators(path) << ": " << text << '\n';
}

int exitStatus(const mtls::Refusal& refusal)
{
    switch (refusal.kind) {
    case mtls::Refusal::None:
        return Success;
    case mtls::Refusal::Io:
    case mtls::Refusal::Usage:
        return Failure;
    case mtls::Refusal::NotLibrary:
    case mtls::Refusal::Truncated:
    case mtls::Refusal::TooLarge:
    case mtls::Refusal::Content:
    case mtls::Refusal::StringLimit:
        break;
    }
    return Problems;
}

int refuse(QTextStream& err, const QString& path, const mtls::Refusal& refusal)
{
    if (!refusal)
        return Success;
    report(err, path, refusal.text);
    return exitStatus(refusal);
}

mtls::Refusal notLibrary()
{
    return mtls::refusal(mtls::Refusal::NotLibrary, QLatin1String(InvalidFileMessage));
}

std::optional<mtls::Block> readBlock(const QString& path, QTextStream& err, int& status)
{
    const mtls::FileBytes file = mtls::readLibraryFile(path);
    // What reads a library whole reads no more than the editor would show.
    mtls::Refusal refusal = file.refusal ? file.refusal : mtls::tooLarge(file.data);
    std::optional<mtls::Block> block;
    if (!refusal) {
        block = mtls::decode(file.data);
        if (!block)
            refusal = notLibrary();
    }
    if (refusal)
        status = refuse(err, path, refusal);
    return block;
}

int info(const QStringList& files, Streams io)
{
    int status = Success;
    for (const QString& path : files) {
        const mtls::FileBytes file = mtls::readLibraryFile(path);
        if (file.refusal) {
            status = worse(status, refuse(io.err, path, file.refusal));
            continue;
        }
        // Only the counts and the shader names: no string or record is kept.
        if (const std::optional<mtls::BlockSummary> summary = mtls::summarize(file.data)) {
            io.out << infoLine(path, *summary) << '\n';
        } else {
            status = worse(status, refuse(io.err, path, notLibrary()));
        }
    }
    return status;
}

int dump(const QString& file, bool json, Streams io)
{
    const mtls::FileBytes bytes = mtls::readLibraryFile(file);
    if (bytes.refusal)
        return refuse(io.err, file, bytes.refusal);
    if (!writeDump(bytes.data, json, io.out))
        return refuse(io.err, file, notLibrary());
    return Success;
}

namespace {

bool byOffset(const mtls::Finding& a, const mtls::Finding& b)
{
    return a.offset < b.offset;
}

// A save of a file into its own folder, run in memory: what it would refuse or lose for good
// are warnings, every other change a note. Only for a library the editor opens.
class SavePreview {
public:
    // `catalogue` is read from `cataloguePath` when a file first needs it, and then kept: every
    // file is judged against the catalogue as it stands, not as the files before it taught it.
    SavePreview(const QString& path, const QByteArray& data,
                std::optional<ShaderCatalogue>& catalogue, const QString& cataloguePath)
    {
        if (mtls::tooLarge(data) || !(read = mtls::decode(data)))
            return;
        if (!catalogue)
            catalogue = ShaderCatalogue(cataloguePath).snapshot();
        ShaderCatalogue trial = catalogue->snapshot();
        save = mtls::predictSave(*read, trial, savePathOf(path));
        if (save.refusal) {
            const int row = save.refusedMaterial;
            const bool named = row >= 0 && row < read->materials.size();
            const mtls::Material* material = named ? &read->materials.at(row) : nullptr;
            warnings.append(
                {material ? material->blockOffset : 0,
                 QStringLiteral("warning: a save refuses material %1 \"%2\": %3")
                     .arg(row)
                     .arg(material ? mtls::DictionaryIndex(read->dictionary).at(material->modelId)
                                   : QString(),
                          save.refusal.text)});
        }
        changes([this](const mtls::SaveChange& change) {
            if (isWarning(change))
                warnings.append({change.offset,
                                 QStringLiteral("warning: %1 is not valid UTF-8: a save writes %2")
                                     .arg(change.field, change.now)});
        });
    }

    QVector<mtls::Finding> warnings;

    // The notes, each handed to `print` as it is made: there may be as many as items.
    void notes(bool hashes, const std::function<void(const mtls::Finding&)>& print) const
    {
        changes([&](const mtls::SaveChange& change) {
            // With --hashes, a hash the save changes is a finding already.
            if (!isWarning(change) && !(hashes && change.kind == mtls::SaveChange::TextureHash))
                print({change.offset, QStringLiteral("note: ") + change.text()});
        });
    }

private:
    static bool isWarning(const mtls::SaveChange& change)
    {
        return change.kind == mtls::SaveChange::NotUtf8 && change.material < 0;
    }
    void changes(const mtls::ChangeReport& report) const
    {
        if (save.written)
            mtls::saveChanges(*read, *save.written, report);
    }

    std::optional<mtls::Block> read;
    mtls::SavePrediction save;
};

} // namespace

int check(const QStringList& files, Streams io, const CheckOptions& options)
{
    int status = Success;
    std::optional<ShaderCatalogue> catalogue;
    for (const QString& path : files) {
        const mtls::FileBytes file = mtls::readLibraryFile(path);
        if (file.refusal) {
            status = worse(status, refuse(io.err, path, file.refusal));
            continue;
        }
        // The hashes come from the layout the editor builds: within its budget only.
        if (const mtls::Refusal tooLarge =
                options.hashes ? mtls::tooLarge(file.data) : mtls::Refusal()) {
            status = worse(status, refuse(io.err, path, tooLarge));
            continue;
        }
        qint64 count = 0;
        auto line = [&](const mtls::Finding& finding) {
            io.out << path << ':' << finding.offset << ": " << finding.text << '\n';
        };
        auto print = [&](const mtls::Finding& finding) {
            line(finding);
            ++count;
        };
        const SavePreview save(path, file.data, catalogue, options.catalogue);
        if (options.hashes || !save.warnings.isEmpty()) {
            // The other findings come from passes of their own: merge them in by offset.
            QVector<mtls::Finding> findings = mtls::checkBlock(file.data);
            if (options.hashes)
                findings += textureFindings(path, file.data);
            findings += save.warnings;
            std::stable_sort(findings.begin(), findings.end(), byOffset);
            for (const mtls::Finding& finding : findings)
                print(finding);
        } else {
            // Each finding is written as it is made, however many there are.
            mtls::checkBlock(file.data, print);
        }
        if (count == 0)
            io.out << path << ": ok\n";
        else
            status = worse(status, Problems);
        if (options.notes)
            save.notes(options.hashes, line); // notes never change the status
    }
    return status;
}

namespace {

// What a load of a library that is not clean could not carry over, one line each, as it
// follows the file name.
QStringList losses(const QByteArray& data, const mtls::LoadedLibrary& library)
{
    QStringList lines;
    if (library.truncated) {
        const std::optional<mtls::Block> block = mtls::decode(data);
        const int read = library.grid.rows.size();
        QString line =
            QStringLiteral(": %1 of %2 materials read").arg(read).arg(block->materialCount);
        if (!block->truncated)
            line += QStringLiteral("; the rest does not fit the table");
        else if (library.lastRowCut)
            line +=
                QStringLiteral("; the file ends inside material %1, which is left out").arg(read);
        else
            line += QStringLiteral("; the file ends before material %1").arg(read);
        lines.append(line);
    }
    for (const mtls::Finding& finding : mtls::checkBlock(data))
        lines.append(QStringLiteral(":%1: ").arg(finding.offset) + finding.text);
    return lines;
}

int resaveLibrary(const QString& in, const QString& out, const QString& catalogue, Streams io)
{
    if (isModelFile(in)) {
        report(io.err, in, QStringLiteral("a model file is no library: open it in the editor"));
        return Failure;
    }
    // Refused before the load teaches the catalogue anything.
    if (const mtls::Refusal notFile = outputRefusal(out))
        return refuse(io.err, out, notFile);
    const mtls::FileBytes file = mtls::readLibraryFile(in);
    if (file.refusal)
        return refuse(io.err, in, file.refusal);
    if (const mtls::Refusal tooLarge = mtls::tooLarge(file.data))
        return refuse(io.err, in, tooLarge);
    // The editor's load writes the catalogue back when it ends, and its save opens the
    // catalogue afresh: the same two steps here.
    std::optional<mtls::LoadedLibrary> library;
    {
        ShaderCatalogue learning(catalogue);
        library = mtls::loadLibrary(file.data, learning);
    }
    if (!library)
        return refuse(io.err, in, notLibrary());
    library->records = {}; // taught already
    // As in the window, a material the file cut is never saved half.
    if (library->lastRowCut)
        library->grid.rows.removeLast();
    const QStringList lost = losses(file.data, *library);
    auto sayLost = [&] {
        for (const QString& line : lost)
            io.err << "mtls: " << QDir::toNativeSeparators(in) << line << '\n';
    };
    if (library->grid.rows.isEmpty()) {
        sayLost();
        return refuse(io.err, in,
                      mtls::refusal(mtls::Refusal::Content, QLatin1String(NothingLoadedMessage)));
    }

    // Sent to standard output, the hashes are those of a save over the input.
    const QString savePath = savePathOf(isStandardOutput(out) ? in : out);
    mtls::WriteResult result;
    {
        const ShaderCatalogue reading(catalogue);
        result = mtls::rebuildLibrary(*library, reading, savePath);
    }
    // What the save refuses is the input's content: named by the input and its material.
    if (result.refusal) {
        mtls::Refusal said = result.refusal;
        if (said.kind == mtls::Refusal::Content && result.refusedRow >= 0 &&
            result.refusedRow < library->grid.rows.size())
            said.text =
                QStringLiteral("material %1 \"%2\": %3")
                    .arg(result.refusedRow)
                    .arg(library->grid.text(result.refusedRow, mtls::ModelIdColumn), said.text);
        return refuse(io.err, in, said);
    }
    if (const int failed = storeOutput(isStandardOutput(out) ? out : savePath, result, io))
        return failed;
    library.reset(); // only the saved bytes are needed from here on
    const QString changed = mtls::savedSummary(file.data, result.bytes);
    // After a save the editor loads the saved file, and that load teaches the catalogue too.
    {
        ShaderCatalogue learning(catalogue);
        mtls::loadLibrary(result.bytes, learning);
    }
    // The file is written as the editor writes it; what it left behind is said.
    sayLost();
    if (!changed.isEmpty())
        io.err << "resave: " << changed << "; `mtls check` lists them\n";
    return lost.isEmpty() ? Success : Problems;
}

} // namespace

int resave(const QString& in, const QString& out, const QString& catalogue, Streams io)
{
    return resaveLibrary(in, out, catalogue, io);
}

} // namespace cli
