// New materials: model files and the part-name rules, the rows built for them, and the shader
// catalogue they come from.
#include "authoring/modelfile.h"
#include "authoring/rowbuilder.h"
#include "authoring/session.h"
#include "catalogue/shadercatalogue.h"
#include "support/core/blockbuilder.h"
#include "support/core/modelbuilder.h"
#include "support/core/scratch.h"

#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using namespace authoring;
using testdata::generatedLibrary;
using testdata::le32;
using testsupport::ModelBuilder;

namespace {

ModelBuilder model(const QStringList& names = {"Body", "Head"})
{
    return ModelBuilder().names(names);
}

// Lists written as words split at single spaces ("a  b" holds an empty string between).
QStringList words(const QString& text)
{
    return text.isEmpty() ? QStringList() : text.split(' ');
}

QString cells(const mtls::GridRow& row)
{
    QStringList texts;
    for (const mtls::Cell& cell : row)
        texts << cell.value_or("<none>");
    return texts.join(' ');
}

} // namespace

class TestAuthoring : public QObject {
    Q_OBJECT

private slots:
    // Per file: the name table, the materials and whether it is damaged, "|" apart.
    void modelFiles()
    {
        const QByteArray rig = model({"J_Hips", "Body", "Head", "Eye_L"})
                                   .chunk("BONE", "xxxx")
                                   .materials({1, 2, 3})
                                   .end()
                                   .build();
        const std::pair<QByteArray, const char*> cases[] = {
            {rig, "J_Hips Body Head Eye_L|Body Head Eye_L|0"},
            {model({"Köpf", "Body", "Hair"})
                 .materials({2, 0, 2})
                 .chunk("MTLs", le32(1) + le32(1))
                 .materials({1, 0})
                 .end()
                 .build(),
             "Köpf Body Hair|Hair Köpf Body|0"},
            {model().materials({0}).end().materials({1}).build(), "Body Head|Body|0"},
            {model().nameChunkSize(30).chunk("MTL!").materials({1}).end().build(),
             "Body Head|Head|0"},
            {model().nameOffset(1, 1000).materials({1, 0}).end().build(), "Body | Body|1"},
            {ModelBuilder().name("Body").pool("Helmet").build(), "Helmet||1"},
            {model().materials(2, {1, 0}, 1000).build(), "Body Head|Head Body|1"},
            {model().materials({0}).chunk("XXXX", "ab", 1000).materials({1}).build(),
             "Body Head|Body|1"},
            {model().chunk("XXXX", {}, 0xFFFFFFF8).materials({1}).end().build(), "Body Head||1"},
            {model().materials({1}).build(), "Body Head|Head|1"},
            // A count as large as the indices the chunk holds, and one more; a count word that
            // ends with the chunk, and one a byte short.
            {model().materials(2, {1, 0}).end().build(), "Body Head|Head Body|0"},
            {model().materials(3, {1, 0}).end().build(), "Body Head|Head Body|1"},
            {model().chunk("MTL!", le32(0)).end().build(), "Body Head||0"},
            {model().chunk("MTL!", QByteArray(3, 0)).end().build(), "Body Head||1"},
            {model().materials({2, 0, 0xFFFFFFFF, 1}).end().build(), "Body Head|Body Head|1"},
            {model().materials(0xFFFFFFFF, {1, 0}, 12).materials({0}).end().build(),
             "Body Head|Head Body|1"},
            // 44 + S0 wraps to 8 in 32 bits, where the filler holds a list and an end chunk.
            {model()
                 .filler("....MTL!" + le32(8) + le32(1) + le32(1) + "MBfD" + le32(0))
                 .nameChunkSize(0xFFFFFFDC)
                 .build(),
             "Body Head||1"},
            {"MDL!" + QByteArray(36, 0) + le32(16) + le32(0xFFFFFFFF) + le32(0) + le32(7) + le32(0),
             "  ||1"}};
        for (const auto& [data, expected] : cases) {
            const auto read = readModelFile(data);
            QCOMPARE(read->nameTable.join(' ') + "|" + read->materials.join(' ') + "|" +
                         QString::number(read->damaged),
                     QString(expected));
        }
        // A cut file reads as a damaged part of the whole, never as something else.
        QVERIFY(!readModelFile(ModelBuilder().name("A").end().build().replace(0, 4, "MTLs")));
        const QStringList names{"J_Hips", "Body", "Head", "Eye_L"};
        for (int length = 0; length < rig.size(); ++length) {
            const auto read = readModelFile(rig.left(length));
            QCOMPARE(bool(read), length >= 4);
            if (!read)
                continue;
            QVERIFY(read->damaged && read->nameTable.size() <= 4);
            for (int i = 0; i < read->nameTable.size(); ++i)
                QVERIFY(names[i].startsWith(read->nameTable[i]));
            QCOMPARE(read->materials,
                     names.mid(1, length >= rig.size() - 8 ? 3 : read->materials.size()));
        }
        // 200 names ending at one zero byte take no more text than the file holds.
        ModelBuilder overlapping;
        for (int i = 0; i < 200; ++i)
            overlapping.name("x").nameOffset(i, quint32(i));
        const QByteArray data = overlapping.pool(QByteArray(200, 'a') + '\0').build();
        const auto read = readModelFile(data);
        QCOMPARE(read->nameTable.value(1), QString(199, 'a'));
        QVERIFY(read->nameTable.join(QString()).size() <= data.size());
    }

    void partNames()
    {
        // "name=shader", "name+=shader" with J_Hips in the name table.
        const QStringList rules =
            QString("HEAD=yCS_head::Normal head_2+=yCS_gear::Normal eye=yCS_eye::Normal "
                    "eye_r=yCS_eye::Normal Eye_L+=yCS_eye::Normal Eye_Overlay=yCS_eyeOv::Normal "
                    "EyeLash=yCS_eyeOv::Normal Body=yCS_skin::Normal Body_Armor=yPBR::t_BRDF "
                    "eye_caruncle+=yCS_head::Caruncle Teeth+=yCS_Teeth::Normal "
                    "MouthBag+=yCS_Teeth::Normal "
                    "Shirt_Combinations_01+=yCS_hair::NewHair_ColorChanging_WDF "
                    "combinations_hair+=yCS_hair::NewHair_ColorChanging "
                    "hair_layout_new+=yModelMovie::T_Movie_Mask layoutnew=yPBR::t_BRDF "
                    "Cap_Titan_Logo+=yIllumination::t_IlluminationMask "
                    "TITANLOGO2=yIllumination::t_IlluminationMask "
                    "hair_caa_ptn+=yIllumination::t_IlluminationMask")
                .split(' ');
        for (const char* whole : {"head", "eye", "eye_r", "eye_l", "eye_overlay", "eyelash", "body",
                                  "eye_caruncle", "teeth", "mouthbag"}) // whole names only
            QCOMPARE(shaderForPart(QString(whole) + "_2", true), QString("yCS_gear::Normal"));
        for (const QString& rule : rules) {
            const QString name = rule.section('=', 0, 0).remove('+');
            QCOMPARE(name + "=" + shaderForPart(name, rule.contains("+=")),
                     QString(rule).remove('+'));
        }
        // Duplicates go before ":skinned" does; "J_Hips" counts only whole and in that case.
        const auto rig = readModelFile(
            model({"J_Hips", "Jersey:skinned", "Head:SKINNED", "Body:skinned:skinned", "Body"})
                .materials({1, 2, 3, 4})
                .build());
        QCOMPARE(materialPlan(*rig), (QVector<PlannedMaterial>{{"Jersey", "yCS_gear::Normal"},
                                                               {"Head:SKINNED", "yCS_gear::Normal"},
                                                               {"Body", "yCS_skin::Normal"},
                                                               {"Body", "yCS_skin::Normal"}}));
        const auto noHips =
            readModelFile(model({"j_hips", "Jersey", "J_Hips_End"}).materials({1}).build());
        QCOMPARE(materialPlan(*noHips), QVector<PlannedMaterial>({{"Jersey", "yPBR::t_BRDF"}}));
    }

    void rows()
    {
        const char* cases[][3] = {
            {"Car_ALPHA yCS_gear::Normal", "colorMap Old_color g_mPixMsk Old_pm g_mPixMsk@ref X",
             "12 yCS_gear Car_ALPHA 65535 Normal colorMap Car_color g_mPixMsk Car_pm g_mPixMsk@ref "
             "X"},
            {"Door yPBR", "", "12 yPBR Door 65535 yPBR"},
            {"Door a::b::c", "  ", "12 a Door 65535 c"},
            {"Door ::v", "", "12  Door 65535 v"},
            // Dropped before the rules look ahead: "@ref" counts two places on once gaps go.
            {"Car s::v", " g_comboMap  Old  g_comboMap@ref ",
             "12 s Car 65535 v g_comboMap Car_rai g_comboMap@ref"}};
        for (const auto& c : cases) {
            const QStringList input = words(c[0]);
            QCOMPARE(cells(buildMaterialRow(12, input[0], input[1], words(c[1]), 65535)),
                     QString(c[2]));
        }
        QCOMPARE(textureStem("Car_ALPHA_Door_ALPHA") + textureStem("_ALPHA") +
                     textureStem("Car_alpha"),
                 QString("CarCar_alpha"));
        // Name, default (rules 1 to 5) or reference (rules 6 to 12, two places on), new name.
        const char* const rules[] = {
            "colorMap default_color Car_color",    "g_nrmMap default_nrm Car_nrm",
            "normalMap default_normal Car_normal", "roughnessMap default_roughness Car_roughness",
            "metalMap default_metal Car_metal",    "g_mPixMsk g_mPixMsk@ref Car_pm",
            "g_comboMap g_comboMap@ref Car_rai",   "sampIllumMap1 sampIllumMap1@ref Car_emissive",
            "lightmap lightmap@ref Car_lightmap",  "maskMap maskMap@ref Car_emissive",
            "coverMap coverMap@ref Car_coverMap",  "flowMap flowMap@ref Car_flow"};
        QStringList lists, expected;
        for (int k = 0; k < 12; ++k) {
            const QStringList r = words(rules[k]);
            const QString after = k >= 5 ? r[1] : "Tail",
                          kept = r[0] + (k >= 5 ? " Old" : " " + r[1]) + " Tail";
            lists << "Head " + r[0] + " Old " + after << kept << "Head " + r[0] + " Old" << r[0];
            expected << "Head " + r[0] + " " + r[2] + " " + after << kept
                     << "Head " + r[0] + (k >= 5 ? " Old" : " " + r[2]) << r[0];
        }
        // A rule tests the value the rule before consumed; an earlier rule is not tested again.
        lists << "colorMap g_nrmMap X"
              << "g_nrmMap colorMap X"
              << "g_mPixMsk maskMap g_mPixMsk@ref maskMap@ref metalMap Old";
        expected << "colorMap Car_color Car_nrm"
                 << "g_nrmMap Car_nrm X"
                 << "g_mPixMsk Car_pm Car_emissive maskMap@ref metalMap Car_metal";
        for (int i = 0; i < lists.size(); ++i)
            QCOMPARE(cells(buildMaterialRow(0, "Car_ALPHA", "s::v", words(lists[i]), 0).mid(5)),
                     expected[i]);
    }

    // A typed cell is taken anywhere in the grid, from its first row and column to its last,
    // and nowhere past them.
    void editCellBounds()
    {
        Session state;
        state.grid.columnCount = 6;
        state.grid.rows = {mtls::GridRow(6), mtls::GridRow(6)};
        const struct {
            int row, column;
            bool taken;
        } cases[] = {{0, 0, true},  {1, 5, true},   {-1, 0, false},
                     {2, 0, false}, {0, -1, false}, {0, 6, false}};
        for (const auto& c : cases) {
            const Step step = editCell(state, c.row, c.column, QStringLiteral("7"));
            QCOMPARE(step.done(), c.taken);
            QCOMPARE(step.session.grid.text(c.row, c.column), c.taken ? "7" : "");
        }
    }

    // A model file is read to its end, however far that is: here past 512 MiB, in a sparse
    // file of which only the head and the tail are read.
    void modelReadToItsEnd()
    {
        const qint64 hole = qint64(600) << 20;
        const QByteArray data =
            model({"J_Hips", "Head"}).chunk("PAD_", {}, quint32(hole)).materials({1}).end().build();
        const int tail = data.indexOf("PAD_") + 8;
        QTemporaryDir dir;
        QFile file(dir.filePath("far.mdl"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(data.left(tail)) == tail);
        QVERIFY(file.resize(tail + hole) && file.seek(tail + hole));
        QVERIFY(file.write(data.mid(tail)) == data.size() - tail);
        file.close();
        const ModelFileRead read = readModelFileAt(file.fileName());
        QVERIFY2(read.model, qPrintable(read.refusal.text));
        QCOMPARE(read.model->materials, QStringList{"Head"});
        QVERIFY(!read.model->damaged);
    }

    // Importing a model is one add after another: the same state, catalogue and refusal from
    // the empty view or a library with a MODIFY pending, for plans of known and unknown
    // shaders, repeated names, values a load shows where a parameter name may start, and a
    // name at the string limit's last offset and one past it.
    void importIsAddAfterAdd()
    {
        QTemporaryDir dir;
        const QString working = dir.filePath("working.mtls"); // rewritten by each add
        Step imported;
        std::tuple<QStringList, mtls::MaterialGrid, QVector<int>, QByteArray> sides[2];
        auto compare = [&](quint32 seed, bool fromLibrary, const QVector<PlannedMaterial>& plan) {
            for (const bool whole : {true, false}) {
                const QString file = dir.filePath(QString("%1-%2.ini").arg(seed).arg(whole));
                auto catalogue = std::make_unique<ShaderCatalogue>(file);
                QFile::remove(working);
                catalogue->record("u", QString("1,%1,0").arg(seed % 15 + 1));
                catalogue->record("v", "4");
                catalogue->record("Params/y y::w", 2); // whose reload teaches yy::w
                catalogue->record("Shaders/y y::w", QStringList{"u", "Global@9", "v", "Global@9"});
                Step step{Session::cleared(), {}, {}, {}};
                if (fromLibrary) // with a text of a space where a value may point
                    step.session = loadBytes({}, generatedLibrary(seed), "l", *catalogue).session;
                if (fromLibrary)
                    step.session.dictionary = QStringList{"", "a b"} + step.session.dictionary;
                step.session.swapPending = whole; // which the import drops first
                if (whole)
                    step = imported = importModel(step.session, plan, working, *catalogue);
                for (const PlannedMaterial& m : whole ? QVector<PlannedMaterial>() : plan) {
                    const Step next =
                        addMaterial(step.session, m.name, m.shader, working, *catalogue);
                    if ((step.refusal = next.refusal))
                        break;
                    step = {next.session, {}, step.hashLines + next.hashLines, {}};
                    step.session.notice = imported.session.notice;
                }
                catalogue.reset();
                const Session& s = step.session;
                const QStringList texts{s.dictionary.join('|'), step.hashLines.join('|'),
                                        s.currentFile, s.notice, step.refusal.text};
                const QVector<int> numbers{s.swapPending, s.swapRow, s.cutRow, s.announceSave,
                                           step.refusal.kind};
                sides[whole] = {texts, s.grid, numbers,
                                (s.loaded ? s.loaded->source : "-") + testfiles::readFile(file) +
                                    testfiles::readFile(working)};
            }
            QVERIFY2(sides[0] == sides[1], qPrintable(QString("seed %1").arg(seed)));
        };
        const QStringList names{"q", "B", "mat", "z", "c d", "Hüt", "u", "", "ab", QChar(0xD800)};
        const QStringList shaders{"yCS_gear::Normal", "u::v", "z", "y y::w", "yy::w"};
        for (quint32 seed = 0; seed < 300; ++seed) {
            QRandomGenerator r(seed);
            QVector<PlannedMaterial> plan(r.bounded(1, 12));
            for (PlannedMaterial& m : plan)
                m = {names[r.bounded(names.size())], shaders[r.bounded(shaders.size())]};
            compare(seed, seed % 2, plan);
        }
        compare(2010, true, {{"a", "y y::w"}, {"ab", "z"}}); // "a b" shown, "ab" comes after
        // The first material of the one write is the one past the string limit.
        compare(2011, false, {{QString(65529, 'n'), "u::v"}, {"t", "u::v"}}); // t at 65535
        // From the empty view, the last material's texts but its name stand before it and its
        // name starts at 65534, the last offset a name may take, then at 65535.
        for (const int past : {0, 1}) {
            QVector<PlannedMaterial> plan(262, {"", "u::v"});
            for (int i = 0; i < 262; ++i)
                plan[i].name = QString::number(i).rightJustified(i ? 250 : 252 + past, 'n');
            plan[1] = {"q", "yy::w"};
            plan[261] = {"t", past ? "y y::w" : "u::v"};
            compare(1000 + past, false, plan);
            QCOMPARE(int(imported.refusal.kind), past ? int(mtls::Refusal::StringLimit) : 0);
        }
    }

    // Record-if-absent, read back from memory, from the file, and from the file reopened.
    void catalogue()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("MTLs_Shaders.ini");
        const QStringList cells{"", "colorMap", "a,b", " lead", "färg", ""};
        for (int form = 0; form < 3; ++form) {
            auto c = std::make_unique<ShaderCatalogue>(form ? ShaderCatalogue(file)
                                                            : ShaderCatalogue::inMemory());
            for (const char* key : {"", "/", "//"})
                QVERIFY(!c->record(key, "4") && !c->contains(key));
            QVERIFY(c->record("Params//h::N/", 70007) && c->record("Shaders/h::N", cells));
            QVERIFY(c->record("oddEntry", QString("")) &&
                    c->record("Flags/h::N", QStringList(cells.mid(1, 2))));
            for (const char* name : {"b::x", "B::x", "_z::x", "odd/name::x"}) {
#ifdef Q_OS_WIN
                if (form > 0 && QByteArray(name) == "B::x")
                    QEXPECT_FAIL("", "QSettings keys ignore case on Windows: B::x is b::x", Abort);
#endif
                QVERIFY(c->record(ShaderCatalogue::shadersKey(name), QStringList{"p"}));
            }
            QVERIFY(!c->record("/Params/h::N", 3) && !c->record("oddEntry", "4"));
            if (form == 2)
                c = std::make_unique<ShaderCatalogue>(file);
            QCOMPARE(c->paramCount("h::N") + c->paramCount("s::v"), 70007 - 65536);
            QCOMPARE(c->shaderCells("h::N"), cells);
            QCOMPARE(c->flags("h::N").join('|') + c->flags("s::v").join('|'),
                     QString("colorMap|a,b"));
            QCOMPARE(c->typeLine("oddEntry"), std::optional<QString>(""));
            QCOMPARE(c->typeLine("colorMap"), std::optional<QString>());
            QCOMPARE(c->shaderNames().join(' '), QString("B::x _z::x b::x h::N"));
            c.reset();
            QCOMPARE(QFile::remove(file), form > 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestAuthoring)
#include "tst_authoring.moc"
