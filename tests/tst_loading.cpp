// Opening libraries into the window: tables, captions, the swap column, the catalogue the
// load teaches, and files that are not libraries or end early.
#include "app/mainwindow.h"
#include "authoring/dialog.h"
#include "catalogue/shadercatalogue.h"
#include "mtls/writer.h"
#include "support/core/blockbuilder.h"
#include "support/gui/modalanswerer.h"
#include "support/gui/windowhelpers.h"
#include "ui_mainwindow.h"

#include <QSettings>
#include <QtTest>

using namespace testdata;
using namespace testwindow;
using Messages = QList<ModalAnswerer::Message>;

namespace {

// One material per name given, all yCS_gear::Normal with one type 1 parameter.
QByteArray libraryOf(const QStringList& names, const QString& parameter, quint16 a)
{
    const QStringList d = QStringList{"yCS_gear", "Normal", parameter} + names;
    QVector<RawMaterial> materials;
    for (const QString& name : names)
        materials.append({offsetOf(d, name), 0, 9, {a, 0, 0, 0}, 1, {entry1(16, a, 0)}});
    return buildBlock(d, materials);
}

// One material with an empty main shader, N = 0 and flag words 5 to 8.
QByteArray emptyMainShader()
{
    return buildBlock({"", "m", "v"}, {RawMaterial{1, 0, 3, {5, 6, 7, 8}, 0, {}}});
}

// A window in a scratch folder of its own, so that the catalogue starts empty.
struct Fixture {
    ScratchDirectory scratch;
    MainWindow w;
    QTableWidget* materials = w.ui->ExternalTable;
    QTableWidget* dictionary = w.ui->OriginalTable;
    QString open(const QString& name, const QByteArray& bytes)
    {
        if (!writeFile(scratch.path(name), bytes))
            qFatal("cannot write the test library");
        call(w, "open_mtl", scratch.path(name));
        return scratch.path(name);
    }
    QByteArray catalogue() const { return readFile(scratch.path("MTLs_Shaders.ini")); }
    // Catalogue values joined with "; ", a list's items with "|".
    QString settings(const QStringList& keys) const
    {
        const QSettings ini(scratch.path("MTLs_Shaders.ini"), QSettings::IniFormat);
        QStringList values;
        for (const QString& key : keys) {
            const QVariant value = ini.value(key);
            values.append(value.userType() == QMetaType::QStringList
                              ? value.toStringList().join('|')
                              : value.toString());
        }
        return values.join("; ");
    }
    QString row(int r) const { return rowTexts(materials, r).join('|'); }
    QString lookup(int offset)
    {
        QString result;
        QMetaObject::invokeMethod(&w, "MTLDictionary", Qt::DirectConnection,
                                  Q_RETURN_ARG(QString, result), Q_ARG(int, offset));
        return result;
    }
};

} // namespace

class TestLoading : public QObject {
    Q_OBJECT

private slots:
    void workedExampleReplacesTheFirstLoad()
    {
        Fixture f;
        QCOMPARE(f.lookup(0), QString()); // the start state has no dictionary
        f.open("rich.mtls", richBlock());
        QCOMPARE(f.w.current_file, f.open("gear.mtls", exampleBlock()));
        QCOMPARE(f.lookup(0), QStringLiteral("mat"));
        QCOMPARE(f.lookup(29), QStringLiteral("tex_d"));
        QCOMPARE(f.lookup(14), QString()); // inside "Normal"
        QCOMPARE(f.lookup(35), QString()); // past the last string
        QCOMPARE(f.w.ui->ExternalLabel->text(), QStringLiteral("gear.mtls   "));
        QCOMPARE(f.dictionary->rowCount(), 5);
        QCOMPARE(rowTexts(f.dictionary, 4), (QStringList{"4", "tex_d", "29"}));
        QStringList headers;
        for (const QTableWidget* table : {f.dictionary, f.materials})
            for (int c = 0; c < table->columnCount(); ++c)
                headers.append(table->horizontalHeaderItem(c)->text());
        QCOMPARE(headers, (QStringList{"  Index", "Item", "Offset", "  Index", " ", "Main Shader",
                                       "Model_ID", "SubMtls #", "P0", "P1", "P2", "P3", "P4", "P5",
                                       "P6", "P7", "P8", "P9", "P10"}));
        QCOMPARE(f.materials->item(0, 2)->textAlignment(), int(Qt::AlignCenter));
        QCOMPARE((QVector<int>{f.materials->columnWidth(1), f.materials->columnWidth(2),
                               f.materials->columnWidth(3)}),
                 (QVector<int>{110, 140, 140}));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const auto buttons = f.materials->findChildren<QPushButton*>();
        QCOMPARE(buttons.size(), 1);
        QCOMPARE(buttons[0], f.materials->cellWidget(0, 1));
        QCOMPARE(buttons[0]->text(), QStringLiteral("MODIFY"));
        QCOMPARE(buttons[0]->font().family(), QStringLiteral("Lato Semibold"));
        QCOMPARE(buttons[0]->font().pointSize(), 8);
        QVERIFY(buttons[0]->styleSheet().startsWith(
            "QPushButton {margin: 1px;border: 4px;border-radius: 8px;"));
    }

    void rowsCaptionsAndHiddenColumns_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("firstRow");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("firstHidden");
        QTest::newRow("worked example")
            << exampleBlock() << 1 << "0|<none>|yCS_gear|mat|1|Normal|colorMap|tex_d" << 16 << 8;
        QTest::newRow("M = 0") << buildBlock({"a", "b"}, {}) << 0 << "" << 16 << 5;
        // No main shader item in any row hides every parameter column.
        QTest::newRow("empty main shader, N = 0")
            << emptyMainShader() << 1 << "0|<none>|<none>|m|0|v" << 16 << 5;
        // The first row fills 17 base columns, two more than a load starts with; with the swap
        // column every one of the 18 stays visible.
        QTest::newRow("widest row keeps its columns")
            << richBlock() << 3
            << "0|<none>|yCS_head|mat|5|Normal|colorMap|tex_d|gain|Global@7|Global@ShaderFlag0-0|"
               "Global@ShaderFlag0-16256|Global@ShaderFlag0-0|tint|Global@30600|hashA|odd|Global@3"
            << 18 << 18;
    }
    void rowsCaptionsAndHiddenColumns()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, rows);
        QFETCH(QString, firstRow);
        QFETCH(int, columns);
        QFETCH(int, firstHidden);
        Fixture f;
        f.open("lib.mtls", bytes);
        QCOMPARE(f.w.ui->OriginalLabel->text(), QStringLiteral("  Found %1 materials:").arg(rows));
        QCOMPARE(f.w.ui->label->text(), QStringLiteral("Items: %1   ").arg(rows));
        QCOMPARE(f.materials->rowCount(), rows);
        QCOMPARE(f.row(0), firstRow);
        QCOMPARE(f.materials->columnCount(), columns);
        for (int c = 0; c < columns; ++c)
            QVERIFY2(f.materials->isColumnHidden(c) == (c >= firstHidden),
                     qPrintable(QString::number(c)));
        QCOMPARE(f.materials->horizontalHeaderItem(columns - 1)->text(),
                 QStringLiteral("P%1").arg(columns - 6));
    }

    void openingAnotherFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes"); // null: no such file
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("current"); // empty: the emptied view
        const QString invalid = "Invalid File";
        // The library's bytes under other names: a model-file name goes to the import, which
        // clears the view and rejects the bytes as a model.
        QTest::newRow(".mdl.mtls") << "a.mdl.mtls" << exampleBlock() << ""
                                   << "a.mdl.mtls";
        QTest::newRow("no dot") << "library" << exampleBlock() << ""
                                << "library";
        QTest::newRow(".MDL") << "a.MDL" << exampleBlock() << invalid << "";
        QTest::newRow(".mdl") << "a.mdl" << exampleBlock() << invalid << "";
        // Refused files change nothing.
        QTest::newRow("empty") << "bad.mtls" << QByteArray("") << invalid << "good.mtls";
        QTest::newRow("MTLS") << "bad.mtls" << QByteArray("MTLS\5\0\0\0\0\0\0\0", 12) << invalid
                              << "good.mtls";
        QTest::newRow("reversed magic")
            << "bad.mtls" << QByteArray("sLTM\5\0\0\0\0\0\0\0", 12) << invalid << "good.mtls";
        QTest::newRow("missing file")
            << "bad.mtls" << QByteArray() << "Cannot open file : No such file or directory"
            << "good.mtls";
    }
    void openingAnotherFile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        QFETCH(QString, current);
        Fixture f;
        ModalAnswerer answers;
        f.open("good.mtls", exampleBlock());
        const QByteArray catalogue = f.catalogue();
        if (bytes.isNull())
            call(f.w, "open_mtl", f.scratch.path(name));
        else
            f.open(name, bytes);
        QCOMPARE(answers.messages(),
                 (message.isEmpty() ? Messages() : Messages{{"Warning", message}}));
        QCOMPARE(f.w.current_file, current.isEmpty() ? QString() : f.scratch.path(current));
        QCOMPARE(f.materials->rowCount(), current.isEmpty() ? 2 : 1);
        QCOMPARE(f.catalogue(), catalogue);
        if (!current.isEmpty()) {
            QCOMPARE(f.w.ui->ExternalLabel->text(), current + "   ");
            QCOMPARE(f.dictionary->rowCount(), 5);
            QCOMPARE(text(f.materials, 0, 3), QStringLiteral("mat"));
        }
    }

    void catalogueKeepsWhatItLearntFirst()
    {
        Fixture f;
        f.open("gear.mtls", exampleBlock());
        const QStringList keys{"Params/yCS_gear::Normal", "colorMap", "Shaders/yCS_gear::Normal",
                               "Flags/yCS_gear::Normal"};
        QCOMPARE(f.settings(keys), QStringLiteral("1; 4; colorMap|tex_d; 1|2|3|4"));
        QCOMPARE(
            QSettings(f.scratch.path("MTLs_Shaders.ini"), QSettings::IniFormat).allKeys().size(),
            4);
        // A library with the same shader and parameter, other flags and another type, adds
        // nothing.
        const QByteArray afterFirst = f.catalogue();
        f.open("other.mtls", libraryOf({"one"}, "colorMap", 9));
        QCOMPARE(f.catalogue(), afterFirst);
        // N = 0 still records the shader, and an empty main shader puts "::" after the prefix.
        f.open("e.mtls", emptyMainShader());
        QCOMPARE(f.settings({"Params/::v", "Flags/::v"}), QStringLiteral("0; 5|6|7|8"));
    }

    void truncatedFilesLeaveWalkableTables()
    {
        Fixture f;
        ModalAnswerer answers;
        const QByteArray whole = richBlock();
        for (int size = 12; size < whole.size(); ++size) {
            QCOMPARE(f.open("cut.mtls", whole.left(size)), f.w.current_file);
            const int rows = f.materials->rowCount();
            QVERIFY(rows <= 3);
            const QString status = f.w.statusBar()->currentMessage();
            if (size < 108) // the count field lies at 104
                QCOMPARE(status,
                         QStringLiteral("The file is truncated: no material could be read."));
            else
                QVERIFY2(status.startsWith(
                             QStringLiteral("The file is truncated: %1 of 3 materials could be "
                                            "read.")
                                 .arg(rows)),
                         qPrintable(status));
            for (int r = 0; r < rows; ++r)
                QVERIFY(f.materials->cellWidget(r, 1));
            // The writer can walk what is left.
            QStringList dictionary;
            for (int r = 0; r < f.dictionary->rowCount(); ++r)
                dictionary.append(text(f.dictionary, r, 1));
            mtls::WriteOptions options;
            options.savePath = f.scratch.path("out.mtls");
            const mtls::WriteResult result = mtls::writeLibrary(
                gridWithoutSwapColumn(f.materials), dictionary, ShaderCatalogue(), options);
            if (result.outcome == mtls::WriteResult::Written) {
                const auto block = mtls::decode(result.bytes);
                QVERIFY(block && !block->truncated);
            }
        }
        QVERIFY(answers.messages().isEmpty());
        // A whole file clears the notice.
        f.open("cut.mtls", whole);
        QVERIFY(!f.w.statusBar()->currentMessage().contains("truncated"));
    }

    void buttonsFollowTheRowsInView()
    {
        ScratchDirectory scratch;
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QStringList names;
        for (int i = 0; i < 300; ++i)
            names.append(QStringLiteral("n%1").arg(i));
        QVERIFY(writeFile(scratch.path("many.mtls"), libraryOf(names, "gain", 1)));
        call(w, "open_mtl", scratch.path("many.mtls"));
        QTableWidget* materials = w.ui->ExternalTable;
        QCoreApplication::processEvents();
        auto button = [materials](int row) {
            return qobject_cast<QPushButton*>(materials->cellWidget(row, 1));
        };
        // Every row has its button, styled; the ones in view are shown where their cell is.
        for (int r : {0, 150, 299}) {
            QVERIFY(button(r));
            QVERIFY(button(r)->styleSheet().startsWith("QPushButton {margin: 1px;"));
        }
        QVERIFY(button(0)->isVisible());
        QCOMPARE(button(0)->geometry(), materials->visualRect(materials->model()->index(0, 1)));
        QVERIFY(!button(299)->isVisible());

        materials->scrollToBottom();
        QCoreApplication::processEvents();
        QVERIFY(button(299)->isVisible());
        QCOMPARE(button(299)->geometry(), materials->visualRect(materials->model()->index(299, 1)));
        QVERIFY(materials->viewport()->rect().intersects(button(299)->geometry()));
        QVERIFY(!button(0)->isVisible());

        // A click on a button that came into view picks its row.
        QTest::mouseClick(button(299), Qt::LeftButton);
        QVERIFY(w.swap_pending);
        QCOMPARE(w.swap_row, 299);
        delete w.dialog;
    }
};

QTEST_MAIN(TestLoading)
#include "tst_loading.moc"
