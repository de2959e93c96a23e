// Where texture hashes point: one table of libraries lying in different folders, each judged
// by the core, `mtls textures`, `mtls check --hashes` and the window's status bar, and a save
// into the library's own folder always giving hashes that match it.
#include "mtls/textures.h"
#include "mtls/writer.h"
#include "support/core/blockbuilder.h"
#include "support/core/rows.h"
#include "support/gui/windowhelpers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QStatusBar>
#include <QtTest>

using namespace testdata;
using namespace testwindow;

namespace {

const auto tool = [](const QStringList& args) { return testfiles::runTool(MTLS_BINARY, args); };

const QStringList Dictionary = {"hero_body", "yCS_gear",  "Normal",    "colorMap",  "Hero_01_D",
                                "colorHash", "normalMap", "Hero_01_N", "normalHash"};

// Two like materials with the entries `items` in order: a "...Map" is a type-4 entry whose value
// (the string after it) is the texture the type-5 entries after it hash, as made for
// `hashedFor` ("": the working file's placeholder). The hashed textures go to `textures`.
QByteArray library(const QString& hashedFor, const QString& items, QStringList& textures,
                   std::optional<quint32> claimed = std::nullopt)
{
    const auto at = [](const QString& text) { return offsetOf(Dictionary, text); };
    RawMaterial material{at("hero_body"), at("yCS_gear"), at("Normal"), {}, 0, {}};
    QString texture;
    for (const QString& name : items.split(' ')) {
        if (name.endsWith("Map")) {
            texture = Dictionary.at(Dictionary.indexOf(name) + 1);
            material.items << entry4(at(name), at(texture));
            continue;
        }
        textures << texture;
        const QByteArray text = (hashedFor + texture + ".tex").toLower().toUtf8();
        material.items << entry5(at(name),
                                 hashedFor.isEmpty() ? mtls::PreviewHash : mtls::fnv1a_64(text));
    }
    material.count = quint16(material.items.size());
    textures += textures; // twice: each material starts without a texture
    return buildBlock(Dictionary, {material, material}, claimed);
}

const char* const Hero1 = "Characters/hero_01/Textures/";
const char* const Hero1Dir = "characters/hero_01/textures/";
const char* const Plain = "colorMap colorHash normalMap normalHash";
const char* const Leading = "colorHash colorMap colorHash normalMap normalHash";
const char *const Match = "matches", *Other = "points to another folder";

// The status line for each verdict: %1 stands for the folder a save there hashes under.
const QMap<QString, QString> Lines{
    {Match, "All %2 texture hashes match this folder."},
    {Other, "All %2 texture hashes point to another folder; saving here gives hashes for %1."},
    {"placeholder", "All %2 texture hashes are placeholders until the library is saved."}};

// A library lying in `folder` under the scratch folder with hashes made for Hero1 (for the
// working file: placeholders); `dir` is what a save there hashes under (%1: the scratch folder).
const struct Case {
    const char *name, *folder, *items, *dir, *verdict;
} Cases[] = {
    {"matching", "Characters/hero_01", Plain, Hero1Dir, Match},
    {"other character", "mods/Characters/hero_02", Plain, "characters/hero_02/textures/", Other},
    {"no known folder", "downloads", Plain, "%1/downloads/textures/", Other},
    {"working file", "Characters/hero_01", Plain, Hero1Dir, "placeholder"},
    {"no type-4 before", "Characters/hero_01", Leading, Hero1Dir, Match},
    {"moved, no type-4 before", "Props/hero_01", Leading, "props/hero_01/textures/", Other},
    {"no hashes", "Characters/hero_01", "colorMap normalMap", Hero1Dir, ""},
};

} // namespace

class TexturesTest : public QObject {
    Q_OBJECT
private slots:
    void judgedByEveryFace_data() { testrows::addRows(Cases); }

    void judgedByEveryFace()
    {
        QFETCH(int, row);
        const Case& c = Cases[row];
        const QString folder = c.folder, verdict = c.verdict;
        const QString hashedFor = verdict == "placeholder" ? QString() : QString(Hero1);
        ScratchDirectory scratch;
        const QString file = scratch.path(folder + "/body.mtls");
        const QString dir =
            QString(c.dir).replace("%1", QDir::cleanPath(scratch.path("")).toLower());
        QStringList textures;
        QVERIFY(QDir().mkpath(folder) && writeFile(file, library(hashedFor, c.items, textures)));
        const QString line = QString(Lines.value(verdict))
                                 .replace("%1", dir)
                                 .replace("%2", QString::number(textures.size()));

        // Each reference as the core, `mtls textures` and its JSON give it.
        const auto references = mtls::textureReferences(*mtls::decode(readFile(file)), file);
        const auto listed = tool({"textures", file});
        const QStringList lines = listed.text().split('\n', Qt::SkipEmptyParts);
        const QJsonArray json =
            QJsonDocument::fromJson(tool({"textures", file, "--json"}).out)["references"].toArray();
        QCOMPARE(listed.status, 0);
        for (int i = 0;
             i < std::max({textures.size(), references.size(), lines.size(), json.size()}); ++i) {
            const QString expected = dir + textures.value(i).toLower() + ".tex\t" + verdict;
            const mtls::TextureReference reference = references.value(i);
            QCOMPARE(reference.hashedPath + '\t' + mtls::verdictText(reference.verdict), expected);
            QCOMPARE(lines.value(i).section('\t', 2), expected);
            QCOMPARE(json.at(i)["path"].toString() + '\t' + json.at(i)["verdict"].toString(),
                     expected);
        }

        // Judged as if saved where the hashes were made, only placeholders stay wrong.
        const QString as = scratch.path("x/" + hashedFor + "../b.mtls");
        const QString kept = hashedFor.isEmpty() ? "\tplaceholder\n" : "\tmatches\n";
        QCOMPARE(tool({"textures", file, "--as", as}).text().count(kept), textures.size());
        const auto checked = tool({"check", "--hashes", file});
        const int wrong = verdict == Match ? 0 : textures.size();
        QCOMPARE(checked.status, wrong ? 1 : 0);
        QCOMPARE(checked.text().count("; saving here gives hashes for " + dir), wrong);
        QCOMPARE(tool({"check", file}).status, 0);
        // A save into the file's own folder gives hashes that match it.
        QCOMPARE(tool({"resave", file, folder + "/saved.mtls"}).status, 0);
        QCOMPARE(tool({"textures", folder + "/saved.mtls"}).text().count("\tmatches\n"),
                 textures.size());

        // A truncated file says so first, in the same line; the next load and Clear View
        // replace the line.
        MainWindow window;
        QVERIFY(writeFile(folder + "/cut.mtls", library(hashedFor, c.items, textures, 3)));
        call(window, "open_mtl", scratch.path(folder + "/cut.mtls"));
        QCOMPARE(window.statusBar()->currentMessage(),
                 ("The file is truncated: 2 of 3 materials could be read. " + line).trimmed());
        call(window, "open_mtl", file);
        QCOMPARE(window.statusBar()->currentMessage(), line);
        call(window, "on_actionQueue_All_triggered");
        QCOMPARE(window.statusBar()->currentMessage(), QString());
    }
};

QTEST_MAIN(TexturesTest)
#include "tst_textures.moc"
