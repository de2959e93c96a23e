// `mtls check`: every way a file is not a well-formed block, what a save of it would refuse or
// lose, and (as notes) every other change such a save makes.
#include "tools/mtls/commandline.h"

#include "catalogue/shadercatalogue.h"
#include "mtls/blockcheck.h"
#include "mtls/libraryfile.h"
#include "mtls/textures.h"

#include <QTextStream>
#include <limits>

namespace cli {

namespace {

const QString Hashes = QStringLiteral("hashes");
const QString NoNotes = QStringLiteral("no-notes");

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
            // A save's rows are the file's materials, one for one.
            const mtls::Material material = read->materials.value(save.refusedMaterial);
            warnings.append({material.blockOffset,
                             QStringLiteral("warning: a save refuses material %1 \"%2\": %3")
                                 .arg(save.refusedMaterial)
                                 .arg(mtls::DictionaryIndex(read->dictionary).at(material.modelId),
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
    std::optional<mtls::Block> read; // none for what the editor does not open

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

    mtls::SavePrediction save;
};

// The findings that other passes add to the check's own, each made when its turn comes: the
// texture hashes a save here would change (with --hashes), then the save's warnings. At one
// offset the check's own come first, then the hashes, then the warnings.
class OtherFindings {
public:
    OtherFindings(const QString& path, const std::optional<mtls::Block>& block, bool hashes,
                  const QVector<mtls::Finding>& warnings)
        : warnings(warnings)
    {
        if (hashes && block) {
            const QString savePath = savePathOf(path);
            textures.emplace(*block, savePath);
            savingHere = QStringLiteral("; saving here gives hashes for ") +
                         mtls::hashedTextureDir(savePath);
            nextTexture();
        }
    }

    // Hands out every finding that lies before `offset`.
    void before(qint64 offset, const std::function<void(const mtls::Finding&)>& print)
    {
        for (;;) {
            const qint64 texture = hasTexture ? reference.blockOffset : End;
            const qint64 warning = warned < warnings.size() ? warnings.at(warned).offset : End;
            if (qMin(texture, warning) >= offset) // End is past every offset
                return;
            if (texture <= warning) {
                print(textureFinding());
                nextTexture();
            } else {
                print(warnings.at(warned++));
            }
        }
    }

    void rest(const std::function<void(const mtls::Finding&)>& print) { before(End, print); }

private:
    static constexpr qint64 End = std::numeric_limits<qint64>::max();

    void nextTexture()
    {
        do
            hasTexture = textures->next(reference);
        while (hasTexture && reference.verdict == mtls::TextureReference::Matches);
    }

    mtls::Finding textureFinding() const
    {
        const QString what = reference.verdict == mtls::TextureReference::Placeholder
                                 ? QStringLiteral("is a placeholder")
                                 : mtls::verdictText(reference.verdict);
        return {reference.blockOffset,
                QStringLiteral("texture hash %1 of %2 (%3) ")
                        .arg(reference.parameter, reference.material, reference.texture) +
                    what + savingHere};
    }

    const QVector<mtls::Finding>& warnings;
    int warned = 0;
    QString savingHere;
    std::optional<mtls::TextureCursor> textures;
    mtls::TextureReference reference;
    bool hasTexture = false;
};

int checkFiles(const QStringList& files, Streams io, bool hashes, bool notes,
               const QString& cataloguePath)
{
    int status = Success;
    std::optional<ShaderCatalogue> catalogue;
    for (const QString& path : files) {
        const mtls::FileBytes file = mtls::readLibraryFile(path);
        if (file.refusal) {
            status = std::max(status, refuse(io.err, path, file.refusal));
            continue;
        }
        // The hashes come from the layout the editor builds: within its budget only.
        if (const mtls::Refusal tooLarge = hashes ? mtls::tooLarge(file.data) : mtls::Refusal()) {
            status = std::max(status, refuse(io.err, path, tooLarge));
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
        const SavePreview save(path, file.data, catalogue, cataloguePath);
        OtherFindings others(path, save.read, hashes, save.warnings);
        // Each finding is written as it is made, however many there are.
        mtls::checkBlock(file.data, [&](const mtls::Finding& finding) {
            others.before(finding.offset, print);
            print(finding);
        });
        others.rest(print);
        if (count == 0)
            io.out << path << ": ok\n";
        else
            status = std::max(status, int(Problems));
        if (notes)
            save.notes(hashes, line); // notes never change the status
    }
    return status;
}

} // namespace

void setupCheck(QCommandLineParser& parser)
{
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Libraries to read."),
                                 QStringLiteral("FILE..."));
    parser.addOption({Hashes, QStringLiteral("Also report every texture hash that does not match "
                                             "the folder the file lies in.")});
    parser.addOption({NoNotes, QStringLiteral("Leave out the notes on what a save of the file "
                                              "into its own folder changes.")});
    addCatalogueOption(parser);
}

int runCheck(const QCommandLineParser& parser, Streams io)
{
    if (parser.positionalArguments().isEmpty())
        return usageError(io, QStringLiteral("check needs at least one file"));
    return checkFiles(parser.positionalArguments(), io, parser.isSet(Hashes),
                      !parser.isSet(NoNotes), cataloguePath(parser));
}

} // namespace cli
