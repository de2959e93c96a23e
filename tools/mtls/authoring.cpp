// The editor's authoring steps as commands: learn, shaders, add, replace and from-model. Each
// runs the same core steps as the window (authoring/session), so both give the same bytes.
#include "tools/mtls/commandline.h"

#include "authoring/session.h"
#include "catalogue/shadercatalogue.h"
#include "mtls/libraryfile.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTextStream>
#include <algorithm>

namespace cli {

namespace {

using authoring::Session;
using authoring::Step;

const QString Output = QStringLiteral("output");
const QString DryRun = QStringLiteral("dry-run");

int fail(Streams io, const QString& path, const mtls::Refusal& refusal)
{
    return refuse(io.err, path, refusal);
}

// Saves as the editor's Save does, then opens the saved file again, which teaches the
// catalogue as that load does. The state is let go before that load, which builds its own.
int saveAs(Session&& session, const QString& out, ShaderCatalogue& catalogue, Streams io)
{
    if (session.grid.rows.isEmpty())
        return fail(io, out,
                    mtls::refusal(mtls::Refusal::Content, QLatin1String(NothingLoadedMessage)));
    const QString path = savePathOf(out);
    const mtls::Refusal refusal = authoring::saveLibrary(session, path, catalogue).refusal;
    session = Session();
    if (refusal)
        return fail(io, out, refusal);
    const Step reloaded = authoring::loadFile(Session(), path, catalogue);
    if (!reloaded.done())
        return fail(io, out, reloaded.refusal);
    io.out << out << ": " << reloaded.session.grid.rows.size() << " materials\n";
    return Success;
}

void outputOption(QCommandLineParser& parser, const QString& what)
{
    parser.addOption({{QStringLiteral("o"), Output}, what, QStringLiteral("OUT")});
}

} // namespace

// ---- learn ------------------------------------------------------------------------------

void setupLearn(QCommandLineParser& parser)
{
    parser.addPositionalArgument(QStringLiteral("LIB"),
                                 QStringLiteral("Libraries to load, in this order."),
                                 QStringLiteral("LIB..."));
    addCatalogueOption(parser);
}

int runLearn(const QCommandLineParser& parser, Streams io)
{
    const QStringList libraries = parser.positionalArguments();
    if (libraries.isEmpty())
        return usageError(io, QStringLiteral("learn needs at least one library"));
    ShaderCatalogue catalogue(cataloguePath(parser));
    int status = Success;
    for (const QString& path : libraries) {
        const authoring::Learnt learnt = authoring::learnFile(path, catalogue);
        if (learnt.refusal) {
            status = std::max(status, fail(io, path, learnt.refusal));
            continue;
        }
        io.out << path << ": " << learnt.shaders << " new shaders, " << learnt.names
               << " new parameter names\n";
    }
    return status;
}

// ---- shaders ----------------------------------------------------------------------------

void setupShaders(QCommandLineParser& parser)
{
    parser.addOption({QStringLiteral("json"), QStringLiteral("JSON for scripts.")});
    addCatalogueOption(parser);
}

int runShaders(const QCommandLineParser& parser, Streams io)
{
    if (!parser.positionalArguments().isEmpty())
        return usageError(io, QStringLiteral("shaders takes no file"));
    const QString path = cataloguePath(parser);
    const ShaderCatalogue catalogue(path);
    io.err << "catalogue: " << QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()) << '\n';
    // The dialog's list: the catalogue's names in its order.
    const QStringList names = catalogue.shaderNames();
    if (parser.isSet(QStringLiteral("json"))) {
        QJsonArray shaders;
        for (const QString& name : names)
            shaders.append(
                QJsonObject{{QStringLiteral("name"), name},
                            {QStringLiteral("paramCount"), int(catalogue.paramCount(name))},
                            {QStringLiteral("cells"),
                             QJsonArray::fromStringList(catalogue.shaderCells(name))}});
        io.out << QJsonDocument(QJsonObject{{QStringLiteral("shaders"), shaders}}).toJson();
        return Success;
    }
    for (const QString& name : names) {
        QStringList cells = catalogue.shaderCells(name);
        for (QString& cell : cells)
            cell = QLatin1Char('"') + cell + QLatin1Char('"');
        io.out << name << ": " << catalogue.paramCount(name) << " parameters";
        if (!cells.isEmpty())
            io.out << ": " << cells.join(QLatin1Char(' '));
        io.out << '\n';
    }
    return Success;
}

// ---- add and replace --------------------------------------------------------------------

namespace {

mtls::Refusal unknownShader(const QString& shader, const ShaderCatalogue& catalogue,
                            const QString& cataloguePath)
{
    const QString key = ShaderCatalogue::shadersKey(shader);
    if (catalogue.contains(key))
        return {};
    return mtls::refusal(mtls::Refusal::Content,
                         QStringLiteral("unknown shader \"%1\": %2 has no %3 entry")
                             .arg(shader, savePathOf(cataloguePath), key));
}

} // namespace

void setupAdd(QCommandLineParser& parser)
{
    parser.addPositionalArgument(QStringLiteral("LIB"), QStringLiteral("The library to open."));
    parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The material's name."));
    parser.addPositionalArgument(
        QStringLiteral("SHADER"),
        QStringLiteral("Its full shader name (mtls shaders lists them); more NAME SHADER "
                       "pairs may follow, added in order."),
        QStringLiteral("SHADER [NAME SHADER...]"));
    outputOption(parser, QStringLiteral("Save the result as OUT."));
    addCatalogueOption(parser);
}

void setupReplace(QCommandLineParser& parser)
{
    parser.addPositionalArgument(QStringLiteral("LIB"), QStringLiteral("The library to open."));
    parser.addPositionalArgument(QStringLiteral("ROW"),
                                 QStringLiteral("The Index of the material to replace."));
    parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The new name."));
    parser.addPositionalArgument(QStringLiteral("SHADER"), QStringLiteral("The new shader."));
    outputOption(parser, QStringLiteral("Save the result as OUT."));
    addCatalogueOption(parser);
}

namespace {

int runAdding(const QCommandLineParser& parser, Streams io, bool replacing)
{
    QStringList args = parser.positionalArguments();
    const QString out = parser.value(Output);
    const bool shapeFits = replacing ? args.size() == 4 : args.size() >= 3 && args.size() % 2;
    if (!shapeFits || out.isEmpty())
        return usageError(io, replacing ? QStringLiteral("replace takes LIB ROW NAME SHADER -o OUT")
                                        : QStringLiteral("add takes LIB NAME SHADER "
                                                         "[NAME SHADER...] -o OUT"));
    const QString library = args.takeFirst();
    if (const mtls::Refusal notFile = mtls::outputRefusal(savePathOf(out)))
        return fail(io, out, notFile);
    const QString cataloguePath = cli::cataloguePath(parser);
    ShaderCatalogue catalogue(cataloguePath);
    Step step = authoring::loadFile(Session(), library, catalogue);
    if (!step.done())
        return fail(io, library, step.refusal);
    // The dialog offers only the shaders the catalogue lists; a typed name gets the same rule.
    for (int i = replacing ? 2 : 1; i < args.size(); i += 2)
        if (const mtls::Refusal unknown = unknownShader(args.at(i), catalogue, cataloguePath))
            return fail(io, library, unknown);
    if (replacing) {
        const QString rowText = args.takeFirst();
        bool isNumber = false;
        const int row = rowText.toInt(&isNumber);
        if (!isNumber || row < 0 || row >= step.session.grid.rows.size())
            return usageError(io, QStringLiteral("%1 has no row %2").arg(library, rowText));
        step = authoring::replaceMaterial(step.session, row, args.at(0), args.at(1), QString(),
                                          catalogue);
        if (!step.done())
            return fail(io, library, step.refusal);
    }
    for (int i = 0; !replacing && i < args.size(); i += 2) { // whole pairs: see shapeFits
        step =
            authoring::addMaterial(step.session, args.at(i), args.at(i + 1), QString(), catalogue);
        if (!step.done())
            return fail(io, library,
                        mtls::refusal(step.refusal.kind,
                                      QStringLiteral("%1: %2").arg(args.at(i), step.refusal.text)));
    }
    return saveAs(std::move(step.session), out, catalogue, io);
}

} // namespace

int runAdd(const QCommandLineParser& parser, Streams io)
{
    return runAdding(parser, io, false);
}

int runReplace(const QCommandLineParser& parser, Streams io)
{
    return runAdding(parser, io, true);
}

// ---- from-model -------------------------------------------------------------------------

void setupFromModel(QCommandLineParser& parser)
{
    parser.addPositionalArgument(QStringLiteral("MODEL"), QStringLiteral("Model files (.mdl)."),
                                 QStringLiteral("MODEL.mdl..."));
    outputOption(parser, QStringLiteral("The folder for the libraries, DIR/<model name>.mtls."));
    parser.addOption({DryRun, QStringLiteral("Print each model's materials and the shaders they "
                                             "would get; write nothing.")});
    addCatalogueOption(parser);
}

namespace {

QString outputOf(const QString& model, const QString& folder)
{
    return QDir(folder).filePath(QFileInfo(model).completeBaseName() + QStringLiteral(".mtls"));
}

// The library each model gives, refused before anything is written when two models would
// write the same file or the file cannot be one.
bool outputsFree(const QStringList& models, const QString& folder, Streams io, int& status)
{
    QStringList outputs;
    for (const QString& model : models) {
        const QString out = savePathOf(outputOf(model, folder));
        const int first = outputs.indexOf(out);
        mtls::Refusal refusal = mtls::outputRefusal(out);
        if (first >= 0)
            refusal = mtls::refusal(
                mtls::Refusal::Usage,
                QStringLiteral("%1 and %2 would both write %3").arg(models.at(first), model, out));
        if (refusal) {
            status = fail(io, model, refusal);
            return false;
        }
        outputs.append(out);
    }
    return true;
}

} // namespace

int runFromModel(const QCommandLineParser& parser, Streams io)
{
    const QStringList models = parser.positionalArguments();
    const bool dryRun = parser.isSet(DryRun);
    const QString folder = parser.value(Output);
    if (models.isEmpty() || (folder.isEmpty() && !dryRun))
        return usageError(io, QStringLiteral("from-model takes MODEL.mdl... -o DIR"));
    int status = Success;
    if (!dryRun && !outputsFree(models, folder, io, status))
        return status;
    std::optional<ShaderCatalogue> catalogue;
    if (!dryRun)
        catalogue.emplace(cataloguePath(parser));
    for (const QString& model : models) {
        const authoring::ModelPlan plan = authoring::readModelPlan(model);
        if (plan.refusal) {
            status = std::max(status, fail(io, model, plan.refusal));
            continue;
        }
        if (plan.materials.isEmpty()) {
            io.err << "mtls: no materials in " << model << '\n';
            status = std::max(status, int(Problems));
            continue;
        }
        if (dryRun) {
            io.out << model << ": " << plan.materials.size() << " materials\n";
            for (const authoring::PlannedMaterial& material : plan.materials)
                io.out << "  " << material.name << ' ' << material.shader << '\n';
            continue;
        }
        // Each model is opened into the emptied view, as the editor opens it.
        Step step =
            authoring::importModel(Session::cleared(), plan.materials, QString(), *catalogue);
        if (!step.done()) {
            status = std::max(status, fail(io, model, step.refusal));
            continue;
        }
        // The folder is made only once there is something to put in it.
        if (!QDir().mkpath(folder))
            return std::max(
                status,
                fail(io, folder,
                     mtls::refusal(mtls::Refusal::Io, QStringLiteral("Cannot create the folder"))));
        const QString out = outputOf(model, folder);
        status = std::max(status, saveAs(std::move(step.session), out, *catalogue, io));
        // As with a cut library: what could be read is saved, and the cut is said.
        if (plan.damaged)
            status = std::max(
                status,
                fail(io, model,
                     mtls::refusal(mtls::Refusal::Truncated,
                                   QStringLiteral("the model is cut short: %1 materials read")
                                       .arg(plan.materials.size()))));
    }
    return status;
}

} // namespace cli
