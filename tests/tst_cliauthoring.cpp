// mtls's authoring commands against the window doing the same steps on the same files: the
// same bytes out, the same catalogue afterwards, the same refusals. And a working write that
// is refused leaves the window as it was.
#include "app/mainwindow.h"
#include "authoring/dialog.h"
#include "catalogue/shadercatalogue.h"
#include "support/core/blockbuilder.h"
#include "support/core/modelbuilder.h"
#include "support/gui/modalanswerer.h"
#include "support/gui/windowhelpers.h"
#include "ui_mainwindow.h"

#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

using namespace testdata;
using namespace testwindow;
using Runs = QList<QStringList>;

namespace {

struct Window {
    MainWindow w;
    ModalAnswerer answers;
    ~Window() { delete w.dialog; }
    void open(const QString& path) { call(w, "open_mtl", QFileInfo(path).absoluteFilePath()); }
    void saveAs(const QString& path)
    {
        answers.expectFileDialog(QFileInfo(path).absoluteFilePath());
        call(w, "rebuild_mtl");
    }
};

// The window's way to what one mtls command line asks for; the outputs it saved.
QStringList windowDoes(Window& win, const QStringList& args)
{
    const QString command = args.first();
    const int outAt = args.indexOf("-o");
    const QStringList operands = args.mid(1, (outAt < 0 ? args.size() : outAt) - 1);
    const QString out = outAt < 0 ? QString() : args.at(outAt + 1);
    if (command == "learn") {
        for (const QString& library : operands)
            win.open(library);
        return {};
    }
    if (command == "from-model") {
        QStringList saved;
        for (const QString& model : operands) {
            win.open(model);
            saved.append(out + "/" + QFileInfo(model).completeBaseName() + ".mtls");
            win.saveAs(saved.last());
        }
        return saved;
    }
    win.open(operands.first());
    const int before = win.answers.messages().size();
    if (command == "replace") {
        win.w.swap_pending = true;
        win.w.swap_row = operands.at(1).toInt();
    }
    for (int i = command == "replace" ? 2 : 1; i + 1 < operands.size(); i += 2)
        if (win.answers.messages().size() == before)
            callAdd(win.w, operands.at(i), operands.at(i + 1));
    if (win.answers.messages().size() != before)
        return {}; // the add was refused: nothing to save
    win.saveAs(out);
    return {out};
}

int runTool(const QStringList& arguments, QString* err = nullptr, QByteArray* out = nullptr)
{
    QProcess process;
    process.start(QStringLiteral(MTLS_BINARY), arguments);
    if (!process.waitForFinished(120000))
        return -1;
    if (err)
        *err = QString::fromUtf8(process.readAllStandardError());
    if (out)
        *out = process.readAllStandardOutput();
    return process.exitCode();
}

// A library of `count` materials over a few shaders, each with a type 1, 4 and 5 entry.
QByteArray generatedLibrary(int count, int seed)
{
    const QStringList dictionary{"yCS_gear", "yCS_eye", "Normal", "tint", "colorMap", "hashA",
                                 "tex_d",    "m0",      "m1",     "m2",   "m3",       "m4"};
    QVector<RawMaterial> materials;
    for (int i = 0; i < count; ++i) {
        const quint16 shader = offsetOf(dictionary, dictionary.at((seed + i) % 2));
        const quint16 name = offsetOf(dictionary, dictionary.at(7 + (seed + i) % 5));
        materials.append({name,
                          shader,
                          offsetOf(dictionary, "Normal"),
                          {1, quint16(seed), 3, 4},
                          3,
                          {entry1(offsetOf(dictionary, "tint"), quint16(i), 2),
                           entry4(offsetOf(dictionary, "colorMap"), offsetOf(dictionary, "tex_d")),
                           entry5(offsetOf(dictionary, "hashA"), 7)}});
    }
    return buildBlock(dictionary, materials);
}

QByteArray modelNaming(const QStringList& names)
{
    QVector<quint32> indices;
    for (int i = 1; i < names.size(); ++i)
        indices.append(quint32(i));
    return testsupport::ModelBuilder().names(names).materials(indices).end().build();
}

// A catalogue whose gear shader has a parameter without a type line: adding it is refused.
const QByteArray Untyped =
    "[Params]\nyCS_gear%3A%3ANormal=1\n[Shaders]\nyCS_gear%3A%3ANormal=weird\n";

} // namespace

class TestCliAuthoring : public QObject {
    Q_OBJECT

private slots:
    void commandsMatchTheWindow_data()
    {
        QTest::addColumn<Runs>("runs");
        const QString lib = "Characters/a/lib.mtls", out = "Characters/a/out.mtls";
        const QString gear = "yCS_gear::Normal", eye = "yCS_eye::Normal";
        QTest::newRow("learn") << Runs{{"learn", lib, "Characters/a/rich.mtls"}};
        QTest::newRow("add one") << Runs{{"add", lib, "new_ALPHA", gear, "-o", out}};
        QTest::newRow("add several, a shader it never met")
            << Runs{{"learn", "Characters/a/rich.mtls"},
                    {"add", lib, "x", eye, "y", "ySomething::Else", "-o", out}};
        QTest::newRow("replace") << Runs{{"replace", lib, "2", "swapped", eye, "-o", out}};
        QTest::newRow("add to a library the save cannot write")
            << Runs{{"add", "Characters/a/odd.mtls", "x", gear, "-o", out}};
        QTest::newRow("from-model") << Runs{
            {"learn", lib}, {"from-model", "m/hero.mdl", "m/plain.mdl", "-o", "Characters/b"}};
    }

    void commandsMatchTheWindow()
    {
        QFETCH(Runs, runs);
        ScratchDirectory scratch;
        QVERIFY(QDir().mkpath("Characters/a") && QDir().mkpath("Characters/b") &&
                QDir().mkpath("m"));
        QVERIFY(writeFile("Characters/a/lib.mtls", generatedLibrary(5, 1)));
        QVERIFY(writeFile("Characters/a/rich.mtls", richBlock(false)));
        QVERIFY(writeFile("Characters/a/odd.mtls", richBlock()));
        QVERIFY(
            writeFile("m/hero.mdl", modelNaming({"J_Hips", "Jersey", "Eye_L", "Head:skinned"})));
        QVERIFY(writeFile("m/plain.mdl", modelNaming({"x", "Jersey", "Layout_New_2"})));

        // The window first; its outputs are kept in memory and moved out of the tool's way.
        QMap<QString, QByteArray> saved;
        QStringList windowMessages;
        {
            Window win;
            for (const QStringList& args : runs)
                for (const QString& path : windowDoes(win, args)) {
                    saved.insert(path, readFile(path));
                    QVERIFY(QFile::remove(path));
                }
            for (const ModalAnswerer::Message& message : win.answers.messages())
                windowMessages.append(message.text);
        }
        QString err;
        int status = 0;
        for (const QStringList& args : runs)
            status = qMax(status, runTool(args + QStringList{"--catalogue", "tool.ini"}, &err));
        QCOMPARE(status, windowMessages.isEmpty() ? 0 : 1);
        for (const QString& message : windowMessages)
            QVERIFY2(err.contains(message), qPrintable(err));
        for (const QString& path : saved.keys())
            QCOMPARE(readFile(path), saved.value(path));
        if (saved.isEmpty())
            QVERIFY(!QFile::exists("Characters/a/out.mtls"));
        QCOMPARE(readFile("tool.ini"), readFile(ShaderCatalogue::DefaultFileName));

        // `shaders` lists what the dialog offers, with the catalogue's counts and cells.
        QByteArray json;
        QCOMPARE(runTool({"shaders", "--json", "--catalogue", "tool.ini"}, nullptr, &json), 0);
        Window win;
        emit win.w.textFocus({});
        const QComboBox* offered = win.w.dialog->findChild<QComboBox*>();
        const QJsonArray shaders = QJsonDocument::fromJson(json).object()["shaders"].toArray();
        QCOMPARE(shaders.size(), offered->count());
        const ShaderCatalogue catalogue;
        for (int i = 0; i < shaders.size(); ++i) {
            const QJsonObject shader = shaders.at(i).toObject();
            QCOMPARE(shader["name"].toString(), offered->itemText(i));
            QCOMPARE(shader["paramCount"].toInt(), int(catalogue.paramCount(offered->itemText(i))));
            QCOMPARE(shader["cells"].toVariant().toStringList(),
                     catalogue.shaderCells(offered->itemText(i)));
        }
    }

    void refusedWorkingWriteKeepsTheWindow_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("rowsAfter"); // Model_ID of each row the window shows
        QTest::newRow("add") << "add"
                             << "mat";
        QTest::newRow("replace") << "replace"
                                 << "mat";
        // Eye_L's shader is unknown, so it writes; Jersey's is the untyped gear shader.
        QTest::newRow("model import stops at the refused material") << "model"
                                                                    << "Eye_L";
    }

    void refusedWorkingWriteKeepsTheWindow()
    {
        QFETCH(QString, action);
        QFETCH(QString, rowsAfter);
        ScratchDirectory scratch;
        QVERIFY(writeFile(ShaderCatalogue::DefaultFileName, Untyped));
        QVERIFY(writeFile("lib.mtls", exampleBlock()));
        QVERIFY(writeFile("hero.mdl", modelNaming({"J_Hips", "Eye_L", "Jersey", "Head"})));
        QVERIFY(writeFile(MainWindow::previewPath(), "older working file"));
        Window win;
        win.open("lib.mtls");
        auto shown = [&win] {
            QStringList state{win.w.current_file, win.w.ui->ExternalLabel->text(),
                              win.w.ui->label->text(), win.w.ui->OriginalLabel->text()};
            for (const QTableWidget* table : {static_cast<QTableWidget*>(win.w.ui->OriginalTable),
                                              static_cast<QTableWidget*>(win.w.ui->ExternalTable)})
                for (int r = 0; r < table->rowCount(); ++r)
                    state += rowTexts(table, r);
            return state;
        };
        const QStringList before = shown();
        if (action == "model") {
            win.open("hero.mdl");
        } else {
            win.w.swap_pending = action == "replace";
            callAdd(win.w, "new", "yCS_gear::Normal");
            QCOMPARE(shown(), before);
            QCOMPARE(readFile(MainWindow::previewPath()), QByteArray("older working file"));
        }
        QCOMPARE(win.answers.messages(),
                 (QList<ModalAnswerer::Message>{{"Warning", "Unknown parameter type: weird"}}));
        QStringList rows;
        for (int r = 0; r < win.w.ui->ExternalTable->rowCount(); ++r)
            rows.append(text(win.w.ui->ExternalTable, r, 3));
        QCOMPARE(rows.join(' '), rowsAfter);
        QFile::remove(MainWindow::previewPath());
    }
};

QTEST_MAIN(TestCliAuthoring)
#include "tst_cliauthoring.moc"
