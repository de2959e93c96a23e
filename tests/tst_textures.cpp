// Where texture hashes point: one table of libraries lying in different folders, each judged
// by the core, `mtls textures`, `mtls check --hashes` and the window's status bar, and a save
// into the library's own folder always giving hashes that match it.
#include "mtls/textures.h"
#include "support/core/blockbuilder.h"
#include "support/core/rows.h"
#include "support/gui/windowhelpers.h"

#include <QStatusBar>
#include <QtTest>

using namespace testdata;
using namespace testwindow;

const auto tool = [](const QStringList& args) { return testfiles::runTool(MTLS_BINARY, args); };

const QStringList Dictionary = {"hero_body", "yCS_gear",  "Normal",    "colorMap",  "Hero_01_D",
                                "colorHash", "normalMap", "Hero_01_N", "normalHash"};

// Two like materials with the entries `items` in order: a "...Map" is a type-4 entry whose value
// (the string after it) is the texture the type-5 entries after it hash, as made for the
// folder `dir` ("": the working file's placeholder, 0xDEADDEAD). The hashed textures go to
// `textures`.
static QByteArray library(const QString& dir, const QString& items, QStringList& textures,
                          quint32 claimed = 2)
{
    const auto at = [](const QString& text) { return offsetOf(Dictionary, text); };
    // Named by the first string, hero_body, at 0.
    RawMaterial m{0, at("yCS_gear"), at("Normal"), {}, quint16(items.count(' ') + 1), {}};
    QString texture; // none until a type-4 entry names one
    for (const QString& name : items.split(' ')) {
        const bool map = name.endsWith("Map");
        texture = map ? Dictionary.at(Dictionary.indexOf(name) + 1) : texture;
        const QByteArray text = (dir + texture + ".tex").toLower().toUtf8();
        const quint64 hash = dir.isEmpty() ? 0xDEADDEAD : mtls::fnv1a_64(text);
        m.items << (map ? entry4(at(name), at(texture)) : entry5(at(name), hash));
        textures << (map ? QStringList() : QStringList(texture));
    }
    textures += textures; // twice: each material starts without a texture
    return buildBlock(Dictionary, {m, m}, claimed);
}

const char* const Plain = "colorMap colorHash normalMap normalHash";
const char* const Leading = "colorHash colorMap colorHash normalMap normalHash";
const char *const Match = "matches", *Other = "points to another folder";

// A library lying in a folder under the scratch folder with hashes made for hero_01's folder
// (for the working file: placeholders), its entries, what a save there hashes under (%1: the
// scratch folder) and the verdict on every hash.
const char* const Cases[][5] = {
    {"matching", "Characters/hero_01", Plain, "characters/hero_01/textures/", Match},
    {"other character", "mods/Characters/hero_02", Plain, "characters/hero_02/textures/", Other},
    {"no known folder", "downloads", Plain, "%1/downloads/textures/", Other},
    {"working file", "Characters/hero_01", Plain, "characters/hero_01/textures/", "placeholder"},
    {"no type-4 before", "Characters/hero_01", Leading, "characters/hero_01/textures/", Match},
    {"moved, no type-4 before", "Props/hero_01", Leading, "props/hero_01/textures/", Other},
    {"no hashes", "Characters/hero_01", "colorMap normalMap", "characters/hero_01/textures/", ""}};

class TexturesTest : public QObject {
    Q_OBJECT
private slots:
    // The status line counts each verdict: M matches, P a placeholder, O another folder.
    void statusLineWording()
    {
        const QString here = "; saving here gives hashes for /x/textures/.";
        const char* const cases[][2] = {
            {"M", "The texture hash matches this folder."},
            {"MM", "All 2 texture hashes match this folder."},
            {"OO", "All 2 texture hashes point to another folder"},
            {"P", "The texture hash is a placeholder until the library is saved."},
            {"MP", "1 of 2 texture hashes is a placeholder until the library is saved."},
            {"MPP", "2 of 3 texture hashes are placeholders until the library is saved."},
            {"O", "The texture hash points to another folder"},
            {"MOP", "1 of 3 texture hashes points to another folder and 1 is a placeholder"},
            {"OOPP", "2 of 4 texture hashes point to another folder and 2 are placeholders"},
            {"", ""}};
        for (const auto& [verdicts, line] : cases) {
            QVector<mtls::TextureReference> references;
            for (const char* v = verdicts; *v; ++v) {
                references.append(mtls::TextureReference());
                references.last().verdict =
                    mtls::TextureReference::Verdict(QString("MPO").indexOf(*v));
            }
            const bool moved = QString(verdicts).contains('O');
            QCOMPARE(mtls::textureStatusLine(references, "/x/a.mtls"), line + (moved ? here : ""));
        }
    }

    void judgedByEveryFace_data() { testrows::addRows(Cases); }

    void judgedByEveryFace()
    {
        QFETCH(int, row);
        const QString folder = Cases[row][1], verdict = Cases[row][4];
        const QString home = verdict == "placeholder" ? "" : "Characters/hero_01/Textures/";
        ScratchDirectory scratch;
        const QString file = scratch.path(folder + "/body.mtls");
        const QString dir = QString(Cases[row][3]).replace("%1", scratch.path("").toLower());
        QStringList textures;
        QVERIFY(QDir().mkpath(folder) && writeFile(file, library(home, Cases[row][2], textures)));

        // Each reference as the core, `mtls textures` and its JSON give it.
        const auto references = mtls::textureReferences(*mtls::decode(readFile(file)), file);
        const QString line = mtls::textureStatusLine(references, file); // the window shows it
        // The tool and the window are given the file as the system names it (on Windows with
        // backslashes): the folder rule sees '/' all the same.
        const QString native = QDir::toNativeSeparators(file);
        const auto listed = tool({"textures", native});
        const QJsonArray json = tool({"textures", native, "--json"}).json()["references"].toArray();
        QCOMPARE(listed.status, 0);
        for (int i = 0; i < std::max({textures.size(), listed.out.count('\n'), json.size()}); ++i) {
            const QString expected = dir + textures.value(i).toLower() + ".tex\t" + verdict;
            const mtls::TextureReference reference = references.value(i);
            QCOMPARE(reference.hashedPath + '\t' + mtls::verdictText(reference.verdict), expected);
            QCOMPARE(listed.text().section('\n', i, i).section('\t', 2), expected);
            QCOMPARE(json[i]["path"].toString() + '\t' + json[i]["verdict"].toString(), expected);
        }

        // Judged as if saved where the hashes were made, only placeholders stay wrong. On Windows
        // the path is C:\mods\Characters\hero_01\Textures\..\body.mtls, so it is
        // C:\mods\Characters\hero_01\body.mtls that hashes under characters/hero_01/textures/.
        const QString as = QDir::toNativeSeparators("C:/mods/" + home + "../body.mtls");
        const QString kept = home.isEmpty() ? "\tplaceholder\n" : "\tmatches\n";
        QCOMPARE(tool({"textures", file, "--as", as}).text().count(kept), textures.size());
        const auto checked = tool({"check", "--hashes", native});
        const int wrong = verdict == Match ? 0 : textures.size();
        QCOMPARE(checked.status, wrong ? 1 : 0);
        QCOMPARE(checked.text().count("; saving here gives hashes for " + dir), wrong);
        QCOMPARE(tool({"check", file}).status, 0);
        // A save into the file's own folder gives hashes that match it.
        tool({"resave", file, folder + "/s"});
        QCOMPARE(tool({"textures", folder + "/s"}).text().count("\tmatches\n"), textures.size());

        // A truncated file says so first, in the same line; the next load and Clear View replace
        // the line, and a failed load leaves it with the library it is about.
        AnsweredWindow window; // its answerer closes the boxes of the failed loads
        const auto open = [&](const QString& name) {
            window.w.openFiles({QDir::toNativeSeparators(scratch.path(folder + "/" + name))});
            return libraryLine(window.w);
        };
        QVERIFY(writeFile(folder + "/cut.mtls", library(home, Cases[row][2], textures, 3)) &&
                writeFile(folder + "/bad.mtls", "not a library"));
        const QString cut =
            ("The file is truncated: 2 of 3 materials could be read. " + line).trimmed();
        for (const QString next : {"bad.mtls", "gone.mtls", "body.mtls"}) {
            QCOMPARE(open("cut.mtls"), cut);
            QCOMPARE(open(next), next == "body.mtls" ? line : cut);
        }
        call(window.w, "on_actionQueue_All_triggered");
        QCOMPARE(libraryLine(window.w), QString());
        QVERIFY(writeFile(folder + "/cut.mtls", readFile(file).left(102))); // inside the count
        QCOMPARE(open("cut.mtls"), QString("The file is truncated: no material could be read."));
    }
};

QTEST_MAIN(TexturesTest)
#include "tst_textures.moc"
