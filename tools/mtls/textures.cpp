// `mtls textures`: where the texture hashes of a library point. Each reference is written as
// it is judged, so a library of many hashes takes little more memory than its block.
#include "tools/mtls/commandline.h"

#include "mtls/textures.h"
#include "tools/mtls/render.h"

#include <QTextStream>

namespace cli {

namespace {

const QString As = QStringLiteral("as");
const QString Json = QStringLiteral("json");

// The same bytes as an indented QJsonDocument of {file, as, textureDir, references} would
// give, keys in its order, without holding the document.
void writeJson(QTextStream& out, const QString& file, const QString& asPath,
               mtls::TextureCursor& cursor)
{
    out << "{\n    \"as\": " << jsonString(asPath) << ",\n    \"file\": " << jsonString(file)
        << ",\n    \"references\": [\n";
    mtls::TextureReference reference;
    for (bool more = cursor.next(reference); more;) {
        out << "        {\n"
            << "            \"expected\": \"" << hex64(reference.expected) << "\",\n"
            << "            \"material\": " << jsonString(reference.material) << ",\n"
            << "            \"parameter\": " << jsonString(reference.parameter) << ",\n"
            << "            \"path\": " << jsonString(reference.hashedPath) << ",\n"
            << "            \"stored\": \"" << hex64(reference.stored) << "\",\n"
            << "            \"texture\": " << jsonString(reference.texture) << ",\n"
            << "            \"verdict\": " << jsonString(mtls::verdictText(reference.verdict))
            << '\n';
        more = cursor.next(reference);
        out << (more ? "        },\n" : "        }\n");
    }
    out << "    ],\n    \"textureDir\": " << jsonString(mtls::hashedTextureDir(asPath)) << "\n}\n";
}

} // namespace

void setupTextures(QCommandLineParser& parser)
{
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The library to read."));
    parser.addOption(
        {As, QStringLiteral("Judge the hashes against a save to PATH instead."), "PATH"});
    parser.addOption({Json, QStringLiteral("JSON for scripts.")});
}

int runTextures(const QCommandLineParser& parser, Streams io)
{
    if (parser.positionalArguments().size() != 1)
        return usageError(io, QStringLiteral("textures takes one file"));
    const QString file = parser.positionalArguments().first();
    int status = Success;
    const std::optional<mtls::Block> block = readBlock(file, io.err, status);
    if (!block)
        return status;
    const QString asPath = savePathOf(parser.isSet(As) ? parser.value(As) : file);
    mtls::TextureCursor cursor(*block, asPath);
    if (parser.isSet(Json)) {
        writeJson(io.out, file, asPath, cursor);
        return Success;
    }
    for (mtls::TextureReference reference; cursor.next(reference);)
        io.out << reference.material << '\t' << reference.parameter << '\t' << reference.hashedPath
               << '\t' << mtls::verdictText(reference.verdict) << '\n';
    return Success;
}

} // namespace cli
