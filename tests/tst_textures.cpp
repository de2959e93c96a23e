// Where texture hashes point: one table of libraries lying in different folders, each judged
// by the core, `mtls textures`, `mtls check --hashes` and the window's status bar, and a save
// into the library's own folder always giving hashes that match it.
#include "app/mainwindow.h"
#include "mtls/textures.h"
#include "mtls/writer.h"
#include "support/core/blockbuilder.h"
#include "support/gui/windowhelpers.h"

#include <QProcess>
#include <QStatusBar>
#include <QtTest>

using namespace testdata;

namespace {

struct ToolRun {
    int status = -1; // -1: the tool did not finish on its own
    QString out;
};

ToolRun runTool(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(MTLS_BINARY), arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput())};
}

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
const char* const Elsewhere =
    "All %2 texture hashes point to another folder; saving here gives hashes for %1.";

// A library lying in `folder` (under the scratch folder: %1 in `dir`) with hashes made for
// `hashedFor`; `dir` is what a save there hashes under, %1 in `line` stands for it.
const struct Case {
    const char *name, *folder, *hashedFor, *items, *dir, *verdict, *line;
} Cases[] = {
    {"matching", "Characters/hero_01", Hero1, Plain, Hero1Dir, "matches",
     "All %2 texture hashes match this folder."},
    {"another character", "mods/Characters/hero_02", Hero1, Plain, "characters/hero_02/textures/",
     "points to another folder", Elsewhere},
    {"no known folder", "downloads", Hero1, Plain, "%1/downloads/textures/",
     "points to another folder", Elsewhere},
    {"working file", "Characters/hero_01", "", Plain, Hero1Dir, "placeholder",
     "All %2 texture hashes are placeholders until the library is saved."},
    {"no type-4 before", "Characters/hero_01", Hero1, Leading, Hero1Dir, "matches",
     "All %2 texture hashes match this folder."},
    {"moved, no type-4 before", "Props/hero_01", Hero1, Leading, "props/hero_01/textures/",
     "points to another folder", Elsewhere},
    {"no hashes", "Characters/hero_01", Hero1, "colorMap normalMap", Hero1Dir, "", ""},
};

} // namespace

class TexturesTest : public QObject {
    Q_OBJECT
private slots:
    void judgedByEveryFace_data()
    {
        QTest::addColumn<int>("row");
        for (int row = 0; row < int(std::size(Cases)); ++row)
            QTest::newRow(Cases[row].name) << row;
    }

    void judgedByEveryFace()
    {
        QFETCH(int, row);
        const Case& c = Cases[row];
        const QString folder = c.folder, hashedFor = c.hashedFor, verdict = c.verdict;
        testwindow::ScratchDirectory scratch;
        QVERIFY(QDir().mkpath(scratch.path(folder)));
        const QString file = QDir::cleanPath(scratch.path(folder + "/body.mtls"));
        const QString dir =
            QString(c.dir).replace("%1", QDir::cleanPath(scratch.path(QString())).toLower());
        QStringList textures;
        QVERIFY(testwindow::writeFile(file, library(hashedFor, c.items, textures)));
        const QString line =
            QString(c.line).replace("%1", dir).replace("%2", QString::number(textures.size()));

        const auto references =
            mtls::textureReferences(*mtls::decode(testwindow::readFile(file)), file);
        const ToolRun listed = runTool({"textures", file});
        const QStringList lines = listed.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(listed.status, 0);
        QCOMPARE(references.size(), textures.size());
        QCOMPARE(lines.size(), textures.size());
        const QString json = runTool({"textures", file, "--json"}).out;
        for (int i = 0; i < textures.size(); ++i) {
            const QString path = dir + textures.at(i).toLower() + ".tex";
            QCOMPARE(references.at(i).hashedPath, path);
            QCOMPARE(mtls::verdictText(references.at(i).verdict), verdict);
            QCOMPARE(lines.at(i).split('\t').mid(2), QStringList({path, verdict}));
            QVERIFY(json.contains(QString("\"path\": \"%1\",").arg(path)));
        }
        QCOMPARE(json.count(QString("\"verdict\": \"%1\"").arg(verdict)), textures.size());
        QCOMPARE(mtls::textureStatusLine(references, file), line);

        // Judged as if saved where the hashes were made, only placeholders stay wrong.
        QCOMPARE(runTool({"textures", file, "--as", scratch.path("x/" + hashedFor + "../b.mtls")})
                     .out.count(hashedFor.isEmpty() ? "\tplaceholder\n" : "\tmatches\n"),
                 textures.size());
        const ToolRun checked = runTool({"check", "--hashes", file});
        const int wrong = verdict == "matches" ? 0 : textures.size();
        QCOMPARE(checked.status, wrong ? 1 : 0);
        QCOMPARE(checked.out.count("; saving here gives hashes for " + dir), wrong);
        QCOMPARE(runTool({"check", file}).status, 0);
        // A save into the file's own folder gives hashes that match it.
        const QString saved = scratch.path(folder + "/saved.mtls");
        QCOMPARE(runTool({"resave", file, saved}).status, 0);
        QCOMPARE(runTool({"textures", saved}).out.count("\tmatches\n"), textures.size());

        // A truncated file says so first, in the same line; the next load and Clear View
        // replace the line.
        MainWindow window;
        const QString cut = scratch.path(folder + "/cut.mtls");
        QVERIFY(testwindow::writeFile(cut, library(hashedFor, c.items, textures, 3)));
        testwindow::call(window, "open_mtl", cut);
        QCOMPARE(window.statusBar()->currentMessage(),
                 ("The file is truncated: 2 of 3 materials could be read. " + line).trimmed());
        testwindow::call(window, "open_mtl", file);
        QCOMPARE(window.statusBar()->currentMessage(), line);
        testwindow::call(window, "on_actionQueue_All_triggered");
        QCOMPARE(window.statusBar()->currentMessage(), QString());
    }
};

QTEST_MAIN(TexturesTest)
#include "tst_textures.moc"
