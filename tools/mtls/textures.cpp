// `mtls textures`: where the texture hashes of a library point, and the findings that
// `check --hashes` adds for the ones that do not point where the file lies.
#include "tools/mtls/commandline.h"

#include "mtls/textures.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace cli {

namespace {

QString hex64(quint64 value)
{
    return QStringLiteral("0x%1").arg(value, 16, 16, QLatin1Char('0'));
}

QString texturesJson(const QString& file, const QString& asPath,
                     const QVector<mtls::TextureReference>& references)
{
    QJsonArray list;
    for (const mtls::TextureReference& reference : references)
        list.append(QJsonObject{{"material", reference.material},
                                {"parameter", reference.parameter},
                                {"texture", reference.texture},
                                {"path", reference.hashedPath},
                                {"stored", hex64(reference.stored)},
                                {"expected", hex64(reference.expected)},
                                {"verdict", mtls::verdictText(reference.verdict)}});
    const QJsonObject root{{"file", file},
                           {"as", asPath},
                           {"textureDir", mtls::hashedTextureDir(asPath)},
                           {"references", list}};
    return QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented));
}

} // namespace

int textures(const QString& file, const std::optional<QString>& as, bool json, Streams io)
{
    int status = Success;
    const std::optional<mtls::Block> block = readBlock(file, io.err, status);
    if (!block)
        return status;
    const QString asPath = savePathOf(as.value_or(file));
    const QVector<mtls::TextureReference> references = mtls::textureReferences(*block, asPath);
    if (json) {
        io.out << texturesJson(file, asPath, references);
        return Success;
    }
    for (const mtls::TextureReference& reference : references)
        io.out << reference.material << '\t' << reference.parameter << '\t' << reference.hashedPath
               << '\t' << mtls::verdictText(reference.verdict) << '\n';
    return Success;
}

QVector<mtls::Finding> textureFindings(const QString& path, const QByteArray& data)
{
    QVector<mtls::Finding> findings;
    const std::optional<mtls::Block> block = mtls::decode(data);
    if (!block)
        return findings;
    const QString savePath = savePathOf(path);
    const QString savingHere =
        QStringLiteral("; saving here gives hashes for ") + mtls::hashedTextureDir(savePath);
    for (const mtls::TextureReference& reference : mtls::textureReferences(*block, savePath)) {
        if (reference.verdict == mtls::TextureReference::Matches)
            continue;
        const QString what = reference.verdict == mtls::TextureReference::Placeholder
                                 ? QStringLiteral("is a placeholder")
                                 : mtls::verdictText(reference.verdict);
        findings.append({reference.blockOffset,
                         QStringLiteral("texture hash %1 of %2 (%3) ")
                                 .arg(reference.parameter, reference.material, reference.texture) +
                             what + savingHere});
    }
    return findings;
}

namespace {

void setupTextures(QCommandLineParser& parser)
{
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The library to read."));
    parser.addOption({QStringLiteral("as"),
                      QStringLiteral("Judge the hashes against a save to PATH instead."),
                      QStringLiteral("PATH")});
    parser.addOption({QStringLiteral("json"), QStringLiteral("JSON for scripts.")});
}

int runTextures(const QCommandLineParser& parser, Streams io)
{
    if (parser.positionalArguments().size() != 1)
        return usageError(io, QStringLiteral("textures takes one file"));
    std::optional<QString> as;
    if (parser.isSet(QStringLiteral("as")))
        as = parser.value(QStringLiteral("as"));
    return textures(parser.positionalArguments().first(), as, parser.isSet(QStringLiteral("json")),
                    io);
}

const Registration texturesCommand({"textures", 70, "FILE [--as PATH] [--json]",
                                    "where each texture hash points, judged where FILE lies",
                                    setupTextures, runTextures});

} // namespace

} // namespace cli
