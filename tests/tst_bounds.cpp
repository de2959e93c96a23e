// Loads in time in proportion to their size: a library of many records, a model far past its
// head.
#include "app/mainwindow.h"
#include "authoring/modelfile.h"
#include "support/core/blockbuilder.h"
#include "support/core/modelbuilder.h"
#include "support/gui/windowhelpers.h"
#include "ui_mainwindow.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QtTest>

using namespace testdata;
using namespace testwindow;
using testsupport::ModelBuilder;

namespace {

// 30,000 rows take about 2 s on a busy 2-core machine, 13 s under the address sanitizer:
// about a tenfold margin on each.
#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 ManyRowsMilliseconds = 100000;
#else
constexpr qint64 ManyRowsMilliseconds = 20000;
#endif

const QStringList words{"mat", "yCS", "Normal", "tex"}; // offsets 0, 4, 8, 15

const RawMaterial emptyRecord{0, 4, 8, {}, 0, {}};

} // namespace

class BoundsTest : public QObject {
    Q_OBJECT

private slots:
    void manyRowsLoadInLinearTime()
    {
        ScratchDirectory scratch;
        QVERIFY(writeFile(scratch.path("many.mtls"),
                          buildBlock(words, QVector<RawMaterial>(30000, emptyRecord))));
        MainWindow w;
        w.show();
        // A column inserted into filled rows moves every cell after it, once per row.
        const QTableWidget* materials = w.ui->ExternalTable;
        int columnsIntoRows = 0;
        connect(materials->model(), &QAbstractItemModel::columnsAboutToBeInserted,
                [&] { columnsIntoRows += materials->rowCount() > 0 ? 1 : 0; });
        QElapsedTimer timer;
        timer.start();
        call(w, "open_mtl", scratch.path("many.mtls"));
        const qint64 elapsed = timer.elapsed();
        qInfo("30,000 rows in %lld ms", elapsed);
        QCOMPARE(columnsIntoRows, 0);
        QCOMPARE(materials->rowCount(), 30000);
        auto* button = qobject_cast<QPushButton*>(materials->cellWidget(29999, 1));
        QVERIFY(button && button->text() == QLatin1String("MODIFY"));
        QVERIFY2(elapsed < ManyRowsMilliseconds, qPrintable(QString::number(elapsed)));
    }

    // A model file is read to its end, however far that is: here past 512 MiB, in a sparse
    // file of which only the head and the tail are read.
    void modelReadToItsEnd()
    {
        const qint64 hole = qint64(600) << 20;
        ModelBuilder builder;
        builder.names({"J_Hips", "Head"}).chunk("PAD_", QByteArray(), quint32(hole));
        const QByteArray model = builder.materials({1}).end().build();
        const int tail = model.indexOf("PAD_") + 8;
        ScratchDirectory scratch;
        QFile file(scratch.path("far.mdl"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(model.left(tail)) == tail);
        QVERIFY(file.resize(tail + hole) && file.seek(tail + hole));
        QVERIFY(file.write(model.mid(tail)) == model.size() - tail);
        file.close();
        QString error;
        const auto read = authoring::readModelFileAt(file.fileName(), error);
        QVERIFY2(read, qPrintable(error));
        QCOMPARE(read->materials, QStringList{"Head"});
        QVERIFY(!read->damaged);
    }
};

QTEST_MAIN(BoundsTest)
#include "tst_bounds.moc"
