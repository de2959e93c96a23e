// Writes the seed corpus of the fuzz targets: fuzz_seeds DIR makes DIR/mtls, DIR/model and
// DIR/writer. Every seed comes from our own builders and our own writer, laid out from the
// documented formats; none is copied from anywhere.
#include "authoring/modelfile.h"
#include "mtls/block.h"
#include "mtls/library.h"
#include "mtls/writer.h"
#include "support/core/blockbuilder.h"
#include "support/core/modelbuilder.h"
#include "writerscript.h"

#include <QDir>
#include <QFile>
#include <cstdio>

namespace {

bool save(const QString& folder, const QString& name, const QByteArray& bytes)
{
    QFile file(folder + QLatin1Char('/') + name);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qUtf8Printable(file.fileName()));
        return false;
    }
    return true;
}

mtls::LoadedLibrary load(const QByteArray& bytes)
{
    return mtls::layoutBlock(*mtls::decode(bytes));
}

// What the editor's save writes for a block: its layout, records and dictionary.
QByteArray saved(const QByteArray& bytes, bool preview)
{
    const mtls::LoadedLibrary library = load(bytes);
    ShaderCatalogue catalogue = ShaderCatalogue::inMemory();
    for (const mtls::CatalogueRecord& record : library.records)
        catalogue.record(record.key, record.value);
    QStringList dictionary;
    for (const mtls::DictionaryEntry& entry : library.dictionary)
        dictionary.append(entry.text);
    mtls::WriteOptions options;
    options.preview = preview;
    options.savePath = QStringLiteral("D:/mods/Characters/hero_01/body.mtls");
    return mtls::writeLibrary(library.grid, dictionary, catalogue, options).bytes;
}

// Materials of several phases and every item kind but the odd types, which the writer refuses.
QByteArray writableBlock()
{
    using namespace testdata;
    const QStringList d{"hero_body", "yCS_skin",    "Normal", "colorMap", "hero_body_d",
                        "normalMap", "hero_body_n", "gain",   "hashA",    "tint",
                        "",          "yCS_gear",    "strap"};
    auto at = [&d](const char* text) { return offsetOf(d, QString::fromUtf8(text)); };
    RawMaterial body;
    body.modelId = at("hero_body");
    body.mainShader = at("yCS_skin");
    body.variant = at("Normal");
    body.flags = {1, 0, 16256, 7};
    body.count = 5;
    body.items = {entry4(at("colorMap"), at("hero_body_d")),
                  globalFlag(0x3F80),
                  entry5(at("hashA"), 0),
                  entry4(at("normalMap"), at("hero_body_n")),
                  entry1(at("gain"), 3, 1),
                  entry2(at("tint"))};
    RawMaterial strap;
    strap.modelId = at("strap");
    strap.mainShader = at("yCS_gear");
    strap.variant = at("Normal");
    strap.count = 1;
    strap.items = {entry4(at("colorMap"), at("hero_body_d"))};
    return buildBlock(d, {body, strap, strap});
}

QVector<QPair<QString, QByteArray>> mtlsSeeds()
{
    using namespace testdata;
    QVector<QPair<QString, QByteArray>> seeds{
        {"example", exampleBlock()},
        {"rich", richBlock()},
        {"writable", writableBlock()},
        {"writable-saved", saved(writableBlock(), false)},
        {"writable-preview", saved(writableBlock(), true)},
        {"example-saved", saved(exampleBlock(), false)},
        {"rich-cut", richBlock().left(richBlock().size() / 2)},
        {"empty", buildBlock({}, {})},
        {"padding-none", buildBlock({"abc", "defg"}, {})},
        {"padding-three", buildBlock({"abcd", "efg"}, {})},
    };
    // Counts that the data cannot back: 2^31 - 1 materials, 65535 parameters each.
    RawMaterial claiming;
    claiming.count = 65535;
    claiming.items = {entry4(4, 0), entry1(4, 1, 2), globalFlag(0)};
    seeds.append({"claims", buildBlock({"mat", "tex"}, {claiming}, 0x7FFFFFFFu)});
    return seeds;
}

QVector<QPair<QString, QByteArray>> modelSeeds()
{
    using testsupport::ModelBuilder;
    QVector<QPair<QString, QByteArray>> seeds;
    seeds.append({"hips", ModelBuilder()
                              .names({"J_Hips", "head", "Eye_L", "hair_combinations",
                                      "body:skinned", "jersey"})
                              .chunk("SKIP", QByteArray(12, '\x5A'))
                              .materials({1, 2, 3, 4, 5})
                              .end()
                              .build()});
    seeds.append({"two-chunks", ModelBuilder()
                                    .names({"teeth", "titan_logo", "eye", "Eye"})
                                    .materials({0, 1, 1})
                                    .materials({3, 0, 2})
                                    .end()
                                    .build()});
    seeds.append(
        {"broken",
         ModelBuilder().names({"a", "b"}).nameOffset(1, 400).materials(5, {0, 1, 9}).build()});
    seeds.append({"magic-only", QByteArray("MDL!")});
    return seeds;
}

QVector<QPair<QString, QByteArray>> writerSeeds()
{
    using fuzzscript::fromLibrary;
    mtls::WriteOptions save;
    save.savePath = QStringLiteral("D:/Arena/Props/ring.mtls");
    mtls::WriteOptions preview;
    preview.preview = true;
    const QByteArray writable = fromLibrary(load(writableBlock()), save);
    return {
        {"example", fromLibrary(load(testdata::exampleBlock()), save)},
        {"example-preview", fromLibrary(load(testdata::exampleBlock()), preview)},
        {"writable", writable},
        {"writable-preview", fromLibrary(load(writableBlock()), preview)},
        {"rich", fromLibrary(load(testdata::richBlock()), save)},
        // 64 KiB in front push the names up to the 16-bit limit.
        {"limit", QByteArray("L63\nL1\n") + writable},
        {"unknown-type", QByteArray("Tgain\t7\nR\nC0\nCyCS\nCmat\nC1\nCNormal\nCgain\n")},
    };
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds DIR\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const QVector<QPair<QString, QVector<QPair<QString, QByteArray>>>> sets{
        {"mtls", mtlsSeeds()}, {"model", modelSeeds()}, {"writer", writerSeeds()}};
    for (const auto& set : sets) {
        const QString folder = root + QLatin1Char('/') + set.first;
        if (!QDir().mkpath(folder))
            return 1;
        for (const auto& seed : set.second)
            if (seed.second.isEmpty() || !save(folder, seed.first, seed.second))
                return 1;
    }
    return 0;
}
