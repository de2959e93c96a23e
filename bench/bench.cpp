// Times the editor's heavy paths on synthetic libraries made in memory:
//   lathrine_bench load        loading 1,000 and 10,000 materials into the window, and
//                              10,000 and 100,000 each in a fresh process (with its peak)
//   lathrine_bench check       `mtls check` on 100,000 materials against a plain read
//   lathrine_bench hostile     files made of one thing only, at 1, 20 and 200 MB, opened in
//                              the window and by `mtls info` and `mtls check`
//   lathrine_bench add         adding one material to 1,000 and 5,000 materials
//   lathrine_bench workbench   Index Shaders over 1,000 libraries, and Find on 10,000
//                              materials, one keystroke at a time
//   lathrine_bench undo        a cell edit, an add and a delete on 10,000 materials, each
//                              undone and redone; the peak after 100 steps against a load
//   lathrine_bench model       importing a model of 50 and 200 material names
//   lathrine_bench cost [DIR]  what mtls costs on each shape of file: check on plain
//                              materials and on the shape above, textures and check --hashes
//                              on 65,534 hash entries, add and replace on 100,000 and 170,000
//                              materials, from-model on 1,000 to 8,000 names (the files
//                              stay in DIR when it is given)
//   lathrine_bench files DIR [LIBS MODELS]
//                              writes LIBS libraries (1,000) into DIR/libs and MODELS models
//                              of 50 names (100) into DIR/models, for timing mtls batches
// Run it offscreen: QT_QPA_PLATFORM=offscreen build/bench/lathrine_bench load
#include "app/mainwindow.h"
#include "mtls/block.h"
#include "support/core/modelbuilder.h"
#include "support/gui/modalanswerer.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QUndoStack>
#include <QtEndian>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// Short unique names keep a 10,000-material dictionary under the 16-bit offset limit; more
// materials share them.
constexpr int MaxNames = 10000;

QString shortName(int i)
{
    return QStringLiteral("m") + QString::number(i, 36);
}

// A library of `count` materials with ten parameters each (types 4, 1, 5, 2, 3 in turn)
// over a dictionary padded to about 60 KiB. `flavour` names a variant of the second shader.
QByteArray syntheticLibrary(int count, int flavour = 0)
{
    QStringList dictionary{"yCS_gear", "Normal", "yCS_head",
                           flavour ? QStringLiteral("Detail%1").arg(flavour) : "Detail"};
    const QStringList parameters{"colorMap",  "gain",  "hashA", "tint", "mix",
                                 "normalMap", "scale", "hashB", "warp", "blend"};
    const quint16 types[] = {4, 1, 5, 2, 3, 4, 1, 5, 2, 3};
    dictionary += parameters;
    for (int t = 0; t < 50; ++t)
        dictionary.append(QStringLiteral("tex_%1_d").arg(t));
    for (int i = 0; i < qMin(count, MaxNames); ++i)
        dictionary.append(shortName(i));
    int size = 0;
    for (const QString& s : dictionary)
        size += s.toUtf8().size() + 1;
    for (int filler = 0; size < 60 * 1024 - 40; ++filler) {
        dictionary.append(QStringLiteral("unused_string_%1").arg(filler));
        size += dictionary.last().toUtf8().size() + 1;
    }
    const QVector<qint64> offsets = mtls::dictionaryOffsets(dictionary);
    auto at = [&](const QString& text) { return quint16(offsets[dictionary.indexOf(text)]); };
    const quint16 shaders[2][2] = {{at("yCS_gear"), at("Normal")},
                                   {at("yCS_head"), at(dictionary[3])}};
    quint16 parameterOffsets[10];
    for (int p = 0; p < 10; ++p)
        parameterOffsets[p] = at(parameters[p]);
    QVector<quint16> textures;
    for (int t = 0; t < 50; ++t)
        textures.append(at(QStringLiteral("tex_%1_d").arg(t)));
    const int firstName = dictionary.indexOf(shortName(0));

    QVector<mtls::Material> materials;
    materials.reserve(count);
    for (int i = 0; i < count; ++i) {
        mtls::Material m;
        m.modelId = quint16(offsets[firstName + i % MaxNames]);
        m.mainShader = shaders[i % 2][0];
        m.variant = shaders[i % 2][1];
        m.flags = {1, 2, 3, 4};
        m.paramCount = 10;
        for (int p = 0; p < 10; ++p) {
            mtls::Item item;
            item.name = parameterOffsets[p];
            item.type = types[p];
            item.first = types[p] == 4 ? textures[(i + p) % 50] : quint64(p + 1000);
            m.items.append(item);
        }
        materials.append(m);
    }
    return mtls::encode(dictionary, materials);
}

double timeLoad(MainWindow& window, const QString& path)
{
    QElapsedTimer timer;
    timer.start();
    QMetaObject::invokeMethod(&window, "open_mtl", Qt::DirectConnection, Q_ARG(QString, path));
    QCoreApplication::processEvents();
    return timer.nsecsElapsed() / 1e9;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

void benchLoad(const QTemporaryDir& dir)
{
    std::printf("%-32s %10s %10s\n", "load", "bytes", "seconds");
    for (int count : {1000, 10000}) {
        const QString path = dir.filePath(QStringLiteral("lib%1.mtls").arg(count));
        const QByteArray bytes = syntheticLibrary(count);
        writeFile(path, bytes);
        MainWindow window;
        window.show();
        timeLoad(window, path); // the first load also teaches the catalogue
        double best = 1e9;
        for (int run = 0; run < 3; ++run)
            best = qMin(best, timeLoad(window, path));
        std::printf("%-32s %10d %10.3f\n", qPrintable(QStringLiteral("%1 materials").arg(count)),
                    int(bytes.size()), best);
    }
}

void benchAdd(const QTemporaryDir& dir)
{
    std::printf("%-32s %10s\n", "add one material", "seconds");
    for (int count : {1000, 5000}) {
        const QString path = dir.filePath(QStringLiteral("add%1.mtls").arg(count));
        writeFile(path, syntheticLibrary(count));
        MainWindow window;
        window.show();
        timeLoad(window, path);
        QElapsedTimer timer;
        timer.start();
        QMetaObject::invokeMethod(&window, "add_material", Qt::DirectConnection,
                                  Q_ARG(QString, QStringLiteral("Car_ALPHA")),
                                  Q_ARG(QString, QStringLiteral("yCS_gear::Normal")));
        std::printf("%-32s %10.3f\n", qPrintable(QStringLiteral("to %1 materials").arg(count)),
                    timer.nsecsElapsed() / 1e9);
    }
}

// A model with `count` material names: a few part names the rules know, the rest plain.
QByteArray syntheticModel(int count)
{
    const QStringList parts{"Head", "Body", "Eye_L", "hair_long", "Teeth", "titan_logo"};
    testsupport::ModelBuilder model;
    model.name(QStringLiteral("J_Hips"));
    QVector<quint32> indices;
    for (int i = 0; i < count; ++i) {
        model.name(i < parts.size() ? parts[i] : QStringLiteral("part_%1").arg(i));
        indices.append(quint32(i + 1));
    }
    model.chunk("BONE", QByteArray(64, 'b')).materials(indices).end();
    return model.build();
}

void benchModel(const QTemporaryDir& dir)
{
    std::printf("%-32s %10s %14s\n", "import a model", "seconds", "ms per name");
    const QString library = dir.filePath(QStringLiteral("teach.mtls"));
    writeFile(library, syntheticLibrary(100));
    for (int count : {50, 200}) {
        const QString path = dir.filePath(QStringLiteral("model%1.mdl").arg(count));
        writeFile(path, syntheticModel(count));
        MainWindow window;
        window.show();
        timeLoad(window, library); // teaches the catalogue the shaders
        const double seconds = timeLoad(window, path);
        std::printf("%-32s %10.3f %14.2f\n", qPrintable(QStringLiteral("%1 names").arg(count)),
                    seconds, seconds * 1000 / count);
    }
}

// Inputs for timing the batch commands of mtls; every tenth library brings a new variant.
int writeBatchFiles(const QString& folder, int libraries, int models)
{
    if (!QDir().mkpath(folder + "/libs") || !QDir().mkpath(folder + "/models"))
        return 1;
    for (int i = 0; i < libraries; ++i)
        if (!writeFile(QStringLiteral("%1/libs/lib%2.mtls").arg(folder).arg(i, 4, 10, QChar('0')),
                       syntheticLibrary(50, i / 10)))
            return 1;
    for (int i = 0; i < models; ++i)
        if (!writeFile(
                QStringLiteral("%1/models/model%2.mdl").arg(folder).arg(i, 3, 10, QChar('0')),
                syntheticModel(50)))
            return 1;
    return 0;
}

struct ChildRun {
    double seconds = -1;
    qint64 peakKiB = -1; // ru_maxrss of the child
    int status = -1;
};

// A child's peak as the kernel counts it starts from the resident size of the process it was
// forked from. So children are started by a small helper forked before the application
// grows: it takes one request per line (program and arguments, tab-separated) and answers
// with the child's seconds, peak KiB and exit status.
int requestPipe[2] = {-1, -1};
FILE* answers = nullptr;

[[noreturn]] void serveRequests(int in, int out)
{
    FILE* requests = fdopen(in, "r");
    static char line[1 << 16];
    while (requests && std::fgets(line, sizeof line, requests)) {
        line[std::strcspn(line, "\n")] = '\0';
        std::vector<char*> argv;
        for (char* word = std::strtok(line, "\t"); word; word = std::strtok(nullptr, "\t"))
            argv.push_back(word);
        argv.push_back(nullptr);
        timespec start{}, end{};
        clock_gettime(CLOCK_MONOTONIC, &start);
        const pid_t pid = fork();
        if (pid == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execv(argv[0], argv.data());
            _exit(127);
        }
        struct rusage usage {};
        int status = 0;
        const bool waited = pid > 0 && wait4(pid, &status, 0, &usage) == pid;
        clock_gettime(CLOCK_MONOTONIC, &end);
        const double seconds = (end.tv_sec - start.tv_sec) + (end.tv_nsec - start.tv_nsec) / 1e9;
        const int exitStatus = waited && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        dprintf(out, "%f %ld %d\n", waited ? seconds : -1.0, waited ? usage.ru_maxrss : -1L,
                exitStatus);
    }
    _exit(0);
}

void startSpawner()
{
    int answerPipe[2];
    if (pipe(requestPipe) != 0 || pipe(answerPipe) != 0)
        return;
    if (fork() == 0) {
        close(requestPipe[1]);
        close(answerPipe[0]);
        serveRequests(requestPipe[0], answerPipe[1]);
    }
    close(requestPipe[0]);
    close(answerPipe[1]);
    answers = fdopen(answerPipe[0], "r");
}

// Runs `program` with `args` as a child process (output to /dev/null) and measures it.
ChildRun runChild(const QString& program, const QStringList& args)
{
    ChildRun run;
    const QByteArray request = (QStringList{program} + args).join(QLatin1Char('\t')).toLocal8Bit();
    if (!answers || dprintf(requestPipe[1], "%s\n", request.constData()) < 0)
        return run;
    double seconds = -1;
    long peak = -1;
    if (std::fscanf(answers, "%lf %ld %d", &seconds, &peak, &run.status) == 3) {
        run.seconds = seconds;
        run.peakKiB = peak;
    }
    return run;
}

// Best of `runs` runs of the same child: the least time, and the peak of that run.
ChildRun bestOf(int runs, const QString& program, const QStringList& args)
{
    ChildRun best;
    for (int i = 0; i < runs; ++i) {
        const ChildRun run = runChild(program, args);
        if (best.seconds < 0 || (run.seconds >= 0 && run.seconds < best.seconds))
            best = run;
    }
    return best;
}

// In the child: opens `path` in a shown window, closing any box it raises, and exits.
int openOnce(const QString& path)
{
    MainWindow window;
    window.show();
    QCoreApplication::processEvents();
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    closer.start(20);
    timeLoad(window, path);
    return 0;
}

QString self();

// One step of each kind the history holds: a cell typed, a material added, one deleted.
void editStep(MainWindow& window, int i)
{
    QTableWidget* materials = window.ui->ExternalTable;
    materials->item(i % materials->rowCount(), 3)->setText(QStringLiteral("edited_%1").arg(i));
}

void addStep(MainWindow& window)
{
    QMetaObject::invokeMethod(&window, "add_material", Qt::DirectConnection,
                              Q_ARG(QString, QStringLiteral("Car_ALPHA")),
                              Q_ARG(QString, QStringLiteral("yCS_gear::Normal")));
}

void deleteStep(MainWindow& window)
{
    window.ui->ExternalTable->selectRow(0);
    window.findChild<QAction*>(QStringLiteral("actionDelete_Material"))->trigger();
}

// In the child: opens `path`, takes `steps` steps (mostly cell edits, every tenth an add or a
// delete) and exits; its peak is the parent's figure.
int stepsOnce(const QString& path, int steps)
{
    MainWindow window;
    window.show();
    timeLoad(window, path);
    for (int i = 0; i < steps; ++i) {
        if (i % 20 == 10)
            addStep(window);
        else if (i % 20 == 19)
            deleteStep(window);
        else
            editStep(window, i);
    }
    QCoreApplication::processEvents();
    return window.history->count() == steps ? 0 : 1;
}

double seconds(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    QCoreApplication::processEvents();
    return timer.nsecsElapsed() / 1e9;
}

void benchUndo(const QTemporaryDir& dir)
{
    const QString path = dir.filePath(QStringLiteral("undo.mtls"));
    writeFile(path, syntheticLibrary(10000));
    std::printf("%-32s %10s %10s %10s\n", "on 10,000 materials", "step", "undo", "redo");
    MainWindow window;
    window.show();
    timeLoad(window, path);
    const struct {
        const char* name;
        std::function<void()> step;
    } kinds[] = {{"cell edit", [&] { editStep(window, 1); }},
                 {"add", [&] { addStep(window); }},
                 {"delete", [&] { deleteStep(window); }}};
    for (const auto& kind : kinds) {
        const double step = seconds(kind.step);
        const double undo = seconds([&] { window.history->undo(); });
        const double redo = seconds([&] { window.history->redo(); });
        std::printf("%-32s %10.3f %10.3f %10.3f\n", kind.name, step, undo, redo);
    }
    std::printf("%-32s %10s\n", "in a fresh process", "peak MB");
    const ChildRun opened = runChild(self(), {QStringLiteral("steps"), path, QStringLiteral("0")});
    const ChildRun stepped =
        runChild(self(), {QStringLiteral("steps"), path, QStringLiteral("100")});
    std::printf("%-32s %10.1f\n%-32s %10.1f (%d)\n%-32s %10.2f\n", "opened alone",
                opened.peakKiB / 1024.0, "after 100 steps", stepped.peakKiB / 1024.0,
                stepped.status, "ratio", double(stepped.peakKiB) / opened.peakKiB);
}

void benchWorkbench(const QTemporaryDir& dir)
{
    const QString folder = dir.filePath(QStringLiteral("game"));
    writeBatchFiles(folder, 1000, 0);
    MainWindow window;
    window.show();
    ModalAnswerer answers; // the folder dialog and the box at the end
    answers.expectFileDialog(folder);
    answers.expectMessage();
    const double index = seconds([&] { window.ui->actionIndex_Shaders->trigger(); });
    std::printf("%-32s %10.3f  (%s)\n", "index 1,000 libraries", index,
                qPrintable(answers.messages().value(0).text));

    const QString path = dir.filePath(QStringLiteral("find.mtls"));
    writeFile(path, syntheticLibrary(10000));
    timeLoad(window, path);
    window.findChild<QAction*>(QStringLiteral("actionFind"))->trigger();
    auto* field = window.findChild<QLineEdit*>(QStringLiteral("filterField"));
    const QString typed = QStringLiteral("m7a");
    double slowest = 0;
    for (int n = 1; n <= typed.size(); ++n) {
        const double key = seconds([&] { field->setText(typed.left(n)); });
        std::printf("  %-30s %10.1f ms\n", qPrintable(typed.left(n)), key * 1000);
        slowest = qMax(slowest, key);
    }
    slowest = qMax(slowest, seconds([&] { field->clear(); }));
    std::printf("%-32s %10.1f ms\n", "find in 10,000, slowest key", slowest * 1000);
}

QString self()
{
    return QCoreApplication::applicationFilePath();
}

void benchLoadFresh(const QTemporaryDir& dir)
{
    std::printf("%-32s %10s %10s %10s\n", "load in a fresh process", "bytes", "seconds", "peak MB");
    double first = 0;
    for (int count : {10000, 100000}) {
        const QString path = dir.filePath(QStringLiteral("fresh%1.mtls").arg(count));
        const QByteArray bytes = syntheticLibrary(count);
        writeFile(path, bytes);
        const ChildRun run = bestOf(3, self(), {QStringLiteral("open"), path});
        std::printf("%-32s %10d %10.3f %10.1f\n",
                    qPrintable(QStringLiteral("%1 materials").arg(count)), int(bytes.size()),
                    run.seconds, run.peakKiB / 1024.0);
        if (first == 0)
            first = run.seconds;
        else
            std::printf("%-32s %10s %10.1f\n", "ratio to 10,000", "", run.seconds / first);
    }
}

void benchCheck(const QTemporaryDir& dir)
{
    const QString path = dir.filePath(QStringLiteral("check.mtls"));
    const QByteArray bytes = syntheticLibrary(100000);
    writeFile(path, bytes);
    double read = 1e9;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer timer;
        timer.start();
        QFile file(path);
        if (file.open(QIODevice::ReadOnly) && file.readAll().size() == bytes.size())
            read = qMin(read, timer.nsecsElapsed() / 1e9);
    }
    const ChildRun check = bestOf(5, QStringLiteral(MTLS_BINARY), {QStringLiteral("check"), path});
    const double megabytes = bytes.size() / 1e6;
    std::printf("%-32s %10s %10s %10s %10s\n", "100,000 materials", "MB", "seconds", "MB/s",
                "peak MB");
    std::printf("%-32s %10.1f %10.4f %10.0f\n", "plain read", megabytes, read, megabytes / read);
    std::printf("%-32s %10.1f %10.4f %10.0f %10.1f\n", "mtls check (whole process)", megabytes,
                check.seconds, megabytes / check.seconds, check.peakKiB / 1024.0);
}

// `count` materials of `parameters` type-4 entries each, sharing short names; the shader is
// yCS_gear::Plain<parameters>.
QByteArray plainLibrary(int count, int parameters)
{
    QStringList dictionary{"yCS_gear", QStringLiteral("Plain%1").arg(parameters)};
    for (int p = 0; p < parameters; ++p)
        dictionary << QStringLiteral("map%1").arg(p) << QStringLiteral("tex_%1_d").arg(p);
    const int firstName = dictionary.size();
    for (int i = 0; i < qMin(count, MaxNames); ++i)
        dictionary.append(shortName(i));
    const QVector<qint64> offsets = mtls::dictionaryOffsets(dictionary);
    QVector<mtls::Material> materials(count);
    for (int i = 0; i < count; ++i) {
        mtls::Material& m = materials[i];
        m.modelId = quint16(offsets[firstName + i % MaxNames]);
        m.mainShader = 0;
        m.variant = quint16(offsets[1]);
        m.paramCount = quint16(parameters);
        for (int p = 0; p < parameters; ++p) {
            mtls::Item item;
            item.name = quint16(offsets[2 + 2 * p]);
            item.type = 4;
            item.first = quint64(offsets[3 + 2 * p]);
            m.items.append(item);
        }
    }
    return mtls::encode(dictionary, materials);
}

// Three materials of 65,534 type-5 entries each: a small file of many hashes.
QByteArray hashLibrary()
{
    const QStringList dictionary{"yCS_gear", "Normal", "m0", "m1", "m2", "hashMap"};
    const QVector<qint64> offsets = mtls::dictionaryOffsets(dictionary);
    QVector<mtls::Material> materials(3);
    for (int i = 0; i < 3; ++i) {
        mtls::Material& m = materials[i];
        m.modelId = quint16(offsets[2 + i]);
        m.variant = quint16(offsets[1]);
        m.paramCount = 65534;
        m.items.resize(65534);
        for (int e = 0; e < 65534; ++e) {
            m.items[e].name = quint16(offsets[5]);
            m.items[e].type = 5;
            m.items[e].first = quint64(e) * 0x9E3779B97F4A7C15ull;
        }
    }
    return mtls::encode(dictionary, materials);
}

// A model of `count` names of three to four characters.
QByteArray shortNamedModel(int count)
{
    testsupport::ModelBuilder model;
    QVector<quint32> indices;
    for (int i = 0; i < count; ++i) {
        model.name(QStringLiteral("p") + QString::number(i, 36));
        indices.append(quint32(i));
    }
    model.chunk("BONE", QByteArray(64, 'b')).materials(indices).end();
    return model.build();
}

void benchCost(const QDir& dir)
{
    const QString mtlsBinary = QStringLiteral(MTLS_BINARY);
    auto run = [&](const QString& label, double megabytes, const QStringList& args) {
        const ChildRun r = bestOf(3, mtlsBinary, args);
        std::printf("%-44s %8.1f %9.3f %8.0f %9.1f %9.0f %4d\n", qPrintable(label), megabytes,
                    r.seconds, megabytes / r.seconds, r.peakKiB / 1024.0, 64 + 20 * megabytes,
                    r.status);
        std::fflush(stdout);
        return r;
    };
    auto file = [&](const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        writeFile(path, bytes);
        return qMakePair(path, bytes.size() / double(1 << 20));
    };
    std::printf("%-44s %8s %9s %8s %9s %9s %4s\n", "mtls (whole process, best of 3)", "MiB",
                "seconds", "MiB/s", "peak MiB", "budget", "exit");
    const auto plain = file("plain100k.mtls", plainLibrary(100000, 10));
    const auto plainLarge = file("plain1m.mtls", plainLibrary(1050000, 10));
    const auto shape = file("shape100k.mtls", syntheticLibrary(100000));
    const auto shapeLarge = file("shape1m.mtls", syntheticLibrary(1000000));
    run("check, 100,000 plain materials", plain.second, {"check", plain.first});
    run("check, 1,050,000 plain materials", plainLarge.second, {"check", plainLarge.first});
    run("check, 100,000 of the bench's shape", shape.second, {"check", shape.first});
    run("check, 1,000,000 of the bench's shape", shapeLarge.second, {"check", shapeLarge.first});

    const auto hashes = file("hashes.mtls", hashLibrary());
    run("textures, 3 x 65,534 hashes", hashes.second, {"textures", hashes.first});
    run("textures --json, 3 x 65,534 hashes", hashes.second, {"textures", "--json", hashes.first});
    run("check --hashes, 3 x 65,534 hashes", hashes.second, {"check", "--hashes", hashes.first});

    const auto plain170 = file("plain170k.mtls", plainLibrary(170000, 5));
    runChild(mtlsBinary, {"learn", plain.first, plain170.first});
    const QString out = dir.filePath(QStringLiteral("out.mtls"));
    run("add, 100,000 plain materials", plain.second,
        {"add", plain.first, "Car_ALPHA", "yCS_gear::Plain10", "-o", out});
    run("replace, 100,000 plain materials", plain.second,
        {"replace", plain.first, "5", "Car_ALPHA", "yCS_gear::Plain10", "-o", out});
    run("add, 170,000 plain materials", plain170.second,
        {"add", plain170.first, "Car_ALPHA", "yCS_gear::Plain5", "-o", out});
    run("replace, 170,000 plain materials", plain170.second,
        {"replace", plain170.first, "5", "Car_ALPHA", "yCS_gear::Plain5", "-o", out});

    double previous = 0;
    for (int names : {1000, 2000, 4000, 8000}) {
        const auto model = file(QStringLiteral("model%1.mdl").arg(names), shortNamedModel(names));
        const ChildRun r =
            run(QStringLiteral("from-model, %1 names").arg(names), model.second,
                {"from-model", model.first, "-o", dir.filePath(QStringLiteral("models"))});
        if (previous > 0)
            std::printf("%-44s %8s %9.2f\n", "  time against half as many names", "",
                        r.seconds / previous);
        previous = r.seconds;
    }
}

// Files made of one thing only, `size` bytes in all.
struct Writer {
    QByteArray bytes;
    void u16(quint16 v) { bytes.append(reinterpret_cast<const char*>(&v), 2); }
    void u32(quint32 v) { bytes.append(reinterpret_cast<const char*>(&v), 4); }
    void padTo4(int from) { bytes.append((4 - (bytes.size() - from) % 4) % 4, '\0'); }
};

// Header, a dictionary of `strings` (zero-terminated, taken as they are) and `records` of
// one empty record each, or one record holding `flags` global flag items and one entry.
QByteArray hostileBlock(const QByteArray& strings, int records, int flags)
{
    Writer w;
    w.bytes.reserve(strings.size() + records * 20 + flags * 4 + 64);
    w.bytes.append("MTLs", 4);
    w.u32(5);
    w.u32(quint32(strings.size()));
    w.bytes.append(strings);
    w.padTo4(12);
    const int base = w.bytes.size();
    w.u32(quint32(qMax(records, 1)));
    for (int r = 0; r < qMax(records, 1); ++r) {
        w.bytes.append(14, '\0');
        w.padTo4(base);
        w.u16(flags > 0 ? 1 : 0);
        for (int f = 0; f < flags; ++f) {
            w.u16(0);
            w.u16(0x3F80);
        }
        if (flags > 0) {
            w.u16(0);
            w.u16(4);
            w.u32(0);
        }
    }
    return w.bytes;
}

QByteArray hostileFile(int kind, qint64 size)
{
    switch (kind) {
    case 0:
        return hostileBlock(QByteArray(int(size - 36), '\0'), 1, 0);
    case 1: {
        QByteArray strings;
        strings.reserve(int(size));
        while (strings.size() < size - 36)
            strings.append("a", 2);
        return hostileBlock(strings, 1, 0);
    }
    case 2:
        return hostileBlock(QByteArray("mat", 4), int(size / 20), 0);
    default:
        return hostileBlock(QByteArray("mat", 4), 1, int((size - 44) / 4));
    }
}

void benchHostile(const QTemporaryDir& dir)
{
    const char* const kinds[] = {"empty strings, one record", "\"a\" strings, one record",
                                 "empty records", "one record, global flag items"};
    std::printf("%-30s %6s %18s %18s %18s\n", "file made of", "MB", "editor s / MB",
                "mtls info s / MB", "mtls check s / MB");
    for (int kind = 0; kind < 4; ++kind) {
        for (int megabytes : {1, 20, 200}) {
            const QString path = dir.filePath(QStringLiteral("hostile.mtls"));
            if (!writeFile(path, hostileFile(kind, qint64(megabytes) << 20)))
                continue;
            auto cell = [](const ChildRun& run) {
                return QStringLiteral("%1 / %2")
                    .arg(run.seconds, 0, 'f', 2)
                    .arg(run.peakKiB / 1024.0, 0, 'f', 0);
            };
            const QString editor = megabytes <= 20
                                       ? cell(runChild(self(), {QStringLiteral("open"), path}))
                                       : QStringLiteral("-");
            const QString info = cell(runChild(MTLS_BINARY, {QStringLiteral("info"), path}));
            const QString check = cell(runChild(MTLS_BINARY, {QStringLiteral("check"), path}));
            std::printf("%-30s %6d %18s %18s %18s\n", kinds[kind], megabytes, qPrintable(editor),
                        qPrintable(info), qPrintable(check));
            std::fflush(stdout);
        }
    }
}
} // namespace

int main(int argc, char* argv[])
{
    if (argc > 1 && (qstrcmp(argv[1], "load") == 0 || qstrcmp(argv[1], "check") == 0 ||
                     qstrcmp(argv[1], "hostile") == 0 || qstrcmp(argv[1], "undo") == 0 ||
                     qstrcmp(argv[1], "cost") == 0))
        startSpawner();
    // Writing files needs no window, so no display either.
    if (argc >= 3 && QByteArray(argv[1]) == "files")
        return writeBatchFiles(QString::fromLocal8Bit(argv[2]), argc > 3 ? atoi(argv[3]) : 1000,
                               argc > 4 ? atoi(argv[4]) : 100);
    QApplication app(argc, argv);
    const QString what = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("load");
    // The children measured by the parent keep off the user's own folders.
    if (what == "open" || what == "steps")
        QStandardPaths::setTestModeEnabled(true);
    if (what == "open" && argc > 2)
        return openOnce(QString::fromLocal8Bit(argv[2]));
    if (what == "steps" && argc > 3)
        return stepsOnce(QString::fromLocal8Bit(argv[2]), atoi(argv[3]));
    QTemporaryDir dir;
    QDir::setCurrent(dir.path()); // the catalogue of a run stays in the scratch folder
    writeFile(dir.filePath(QStringLiteral("MTLs_Shaders.ini")), QByteArray());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
    if (what == "load") {
        benchLoad(dir);
        benchLoadFresh(dir);
    } else if (what == "check")
        benchCheck(dir);
    else if (what == "hostile")
        benchHostile(dir);
    else if (what == "add")
        benchAdd(dir);
    else if (what == "model")
        benchModel(dir);
    else if (what == "cost")
        benchCost(QDir(argc > 2 ? QString::fromLocal8Bit(argv[2]) : dir.path()));
    else if (what == "undo")
        benchUndo(dir);
    else if (what == "workbench")
        benchWorkbench(dir);
    else {
        std::fprintf(
            stderr,
            "usage: lathrine_bench load|add|model|undo|workbench|check|cost|hostile|files DIR "
            "[LIBS MODELS]\n");
        return 2;
    }
    return 0;
}
