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
};

// The window's way to what one mtls command line asks for; gives the files it saved.
QStringList windowDoes(Window& win, const QStringList& args)
{
    const int outAt = args.contains("-o") ? args.indexOf("-o") : args.size();
    const QStringList operands = args.mid(1, outAt - 1);
    const QString command = args.first(), out = args.value(outAt + 1);
    QStringList saved;
    auto saveAs = [&](const QString& path) {
        win.answers.expectFileDialog(QFileInfo(path).absoluteFilePath());
        call(win.w, "rebuild_mtl");
        saved.append(path);
    };
    for (int i = 0; command != "add" && command != "replace" && i < operands.size(); ++i) {
        win.open(operands[i]);
        if (command == "from-model")
            saveAs(out + "/" + QFileInfo(operands[i]).completeBaseName() + ".mtls");
    }
    if (command != "add" && command != "replace")
        return saved;
    win.open(operands.first());
    win.w.swap_pending = command == "replace";
    win.w.swap_row = operands.at(1).toInt();
    const int before = win.answers.messages().size();
    for (int i = win.w.swap_pending ? 2 : 1; i + 1 < operands.size(); i += 2)
        if (win.answers.messages().size() == before)
            callAdd(win.w, operands.at(i), operands.at(i + 1));
    if (win.answers.messages().size() == before) // a refused add leaves nothing to save
        saveAs(out);
    return saved;
}

int runTool(const QStringList& arguments, QString* err, QByteArray* out = nullptr)
{
    QProcess process;
    process.start(QStringLiteral(MTLS_BINARY), arguments);
    if (!process.waitForFinished(120000))
        return -1;
    *err += QString::fromUtf8(process.readAllStandardError());
    if (out)
        *out = process.readAllStandardOutput();
    return process.exitCode();
}

QByteArray modelNaming(const QStringList& names)
{
    QVector<quint32> indices;
    for (int i = 1; i < names.size(); ++i)
        indices.append(quint32(i));
    return testsupport::ModelBuilder().names(names).materials(indices).end().build();
}

} // namespace

class TestCliAuthoring : public QObject {
    Q_OBJECT

private slots:
    void commandsMatchTheWindow_data()
    {
        QTest::addColumn<Runs>("runs");
        const QString gear = "yCS_gear::Normal", head = "yCS_head::Normal";
        QTest::newRow("learn") << Runs{{"learn", "ex.mtls", "lib.mtls"}};
        QTest::newRow("add one") << Runs{{"add", "lib.mtls", "new_ALPHA", head, "-o", "out.mtls"}};
        QTest::newRow("add several, one shader never met") << Runs{
            {"learn", "ex.mtls"},
            {"add", "lib.mtls", "x", gear, "y", "yOther::Else", "z", head, "-o", "out.mtls"}};
        QTest::newRow("replace") << Runs{
            {"replace", "lib.mtls", "1", "new", head, "-o", "out.mtls"}};
        QTest::newRow("add to a library the save cannot write")
            << Runs{{"add", "odd.mtls", "x", gear, "-o", "out.mtls"}};
        QTest::newRow("from-model") << Runs{{"learn", "lib.mtls", "ex.mtls"},
                                            {"from-model", "hero.mdl", "plain.mdl", "-o", "b"}};
    }

    void commandsMatchTheWindow()
    {
        QFETCH(Runs, runs);
        ScratchDirectory scratch;
        QVERIFY(QDir().mkpath("b"));
        const QMap<QString, QByteArray> inputs{
            {"lib.mtls", richBlock(false)},
            {"ex.mtls", exampleBlock()},
            {"odd.mtls", richBlock()},
            {"hero.mdl", modelNaming({"J_Hips", "Jersey", "Eye_L", "Head:skinned"})},
            {"plain.mdl", modelNaming({"x", "Jersey", "Layout_New_2"})}};
        for (const QString& name : inputs.keys())
            QVERIFY(writeFile(name, inputs[name]));

        // The window first; its outputs are kept in memory and moved out of the tool's way.
        QMap<QString, QByteArray> saved;
        QList<ModalAnswerer::Message> windowMessages;
        {
            Window win;
            for (const QStringList& args : runs)
                for (const QString& path : windowDoes(win, args)) {
                    saved.insert(path, readFile(path));
                    QVERIFY(QFile::remove(path));
                }
            windowMessages = win.answers.messages();
        }
        QString err;
        int status = 0;
        for (const QStringList& args : runs)
            status = qMax(status, runTool(args + QStringList{"--catalogue", "tool.ini"}, &err));
        QCOMPARE(status, windowMessages.isEmpty() ? 0 : 1);
        for (const ModalAnswerer::Message& message : windowMessages)
            QVERIFY2(err.contains(message.text), qPrintable(err));
        for (const QString& path : saved.keys())
            QCOMPARE(readFile(path), saved.value(path));
        QCOMPARE(QFile::exists("out.mtls"), saved.contains("out.mtls"));
        QCOMPARE(readFile("tool.ini"), readFile(ShaderCatalogue::DefaultFileName));

        // `shaders` lists what the dialog offers, with the catalogue's counts and cells.
        QByteArray json;
        QCOMPARE(runTool({"shaders", "--json", "--catalogue", "tool.ini"}, &err, &json), 0);
        Window win;
        emit win.w.textFocus({});
        const QComboBox* offered = win.w.dialog->findChild<QComboBox*>();
        const ShaderCatalogue catalogue;
        QJsonArray offeredShaders;
        for (int i = 0; i < offered->count(); ++i)
            offeredShaders.append(QJsonObject{
                {"name", offered->itemText(i)},
                {"paramCount", catalogue.paramCount(offered->itemText(i))},
                {"cells",
                 QJsonArray::fromStringList(catalogue.shaderCells(offered->itemText(i)))}});
        QCOMPARE(QJsonDocument::fromJson(json)["shaders"].toArray(), offeredShaders);
    }

    void nonUtf8FileNameIsRefusedByPosition()
    {
        ScratchDirectory scratch;
        // QProcess cannot pass such bytes: the shell makes the file and the argument.
        QProcess shell;
        shell.start("sh", {"-c", QStringLiteral("n=$(printf 'lib\\377.mtls'); printf x > \"$n\"; "
                                                "\"%1\" resave \"$n\" out.mtls")
                                     .arg(MTLS_BINARY)});
        QVERIFY(shell.waitForFinished(60000));
        QCOMPARE(shell.exitCode(), 2);
        QCOMPARE(QString(shell.readAllStandardError()),
                 QString("mtls: argument 2 is not valid UTF-8; file names must be UTF-8\n"));
        QVERIFY(!QFile::exists("out.mtls"));
    }

    void refusedWorkingWriteKeepsTheWindow_data()
    {
        QTest::addColumn<QString>("action");
        // Eye_L's shader is unknown, so it writes; Jersey's has a parameter without a type.
        for (const char* action : {"add", "replace", "model import"})
            QTest::newRow(action) << QString(action);
    }

    void refusedWorkingWriteKeepsTheWindow()
    {
        QFETCH(QString, action);
        ScratchDirectory scratch;
        QVERIFY(
            writeFile(ShaderCatalogue::DefaultFileName,
                      "[Params]\nyCS_gear%3A%3ANormal=1\n[Shaders]\nyCS_gear%3A%3ANormal=weird\n"));
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
        if (action == "model import") {
            win.open("hero.mdl"); // stops at Jersey, showing what was built up to it
            QCOMPARE(win.w.ui->ExternalTable->rowCount(), 1);
            QCOMPARE(text(win.w.ui->ExternalTable, 0, 3), QString("Eye_L"));
        } else {
            win.w.swap_pending = action == "replace";
            callAdd(win.w, "new", "yCS_gear::Normal");
            QCOMPARE(shown(), before);
            QCOMPARE(readFile(MainWindow::previewPath()), QByteArray("older working file"));
        }
        QCOMPARE(win.answers.messages(),
                 (QList<ModalAnswerer::Message>{{"Warning", "Unknown parameter type: weird"}}));
        QFile::remove(MainWindow::previewPath());
    }
};

QTEST_MAIN(TestCliAuthoring)
#include "tst_cliauthoring.moc"
