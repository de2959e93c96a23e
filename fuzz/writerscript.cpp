#include "writerscript.h"

namespace fuzzscript {

namespace {

constexpr int MaxFillerKiB = 80;

QString text(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes).remove(QChar(0));
}

// "name\tvalue": the name and the rest, or nothing without a tab.
bool splitPair(const QByteArray& body, QString& name, QByteArray& value)
{
    const int tab = body.indexOf('\t');
    if (tab < 0)
        return false;
    name = text(body.left(tab));
    value = body.mid(tab + 1);
    return true;
}

} // namespace

WriterInput parse(const QByteArray& script)
{
    WriterInput input;
    mtls::MaterialGrid& grid = input.grid;
    int from = 0;
    while (from < script.size()) {
        int end = script.indexOf('\n', from);
        if (end < 0)
            end = script.size();
        const QByteArray line = script.mid(from, end - from);
        from = end + 1;
        if (line.isEmpty())
            continue;
        const QByteArray body = line.mid(1);
        QString name;
        QByteArray value;
        switch (line.at(0)) {
        case 'D':
            input.dictionaryColumn.append(text(body));
            break;
        case 'L': {
            const int kib = qBound(0, body.toInt(), MaxFillerKiB);
            input.dictionaryColumn.append(QString(kib * 1024, QLatin1Char('x')));
            break;
        }
        case 'T':
            if (splitPair(body, name, value))
                input.records.append({name, text(value)});
            break;
        case 'F':
            if (splitPair(body, name, value))
                input.records.append(
                    {ShaderCatalogue::flagsKey(name), text(value).split(QLatin1Char(','))});
            break;
        case 'R':
            grid.rows.append(mtls::GridRow());
            break;
        case 'C':
        case 'N':
            if (grid.rows.isEmpty())
                grid.rows.append(mtls::GridRow());
            grid.rows.last().append(line.at(0) == 'C' ? mtls::Cell(text(body)) : std::nullopt);
            break;
        case 'P':
            input.options.preview = true;
            break;
        case 'S':
            input.options.savePath = text(body);
            break;
        default:
            break;
        }
    }
    for (const mtls::GridRow& row : grid.rows)
        grid.columnCount = qMax(grid.columnCount, row.size());
    return input;
}

QByteArray fromLibrary(const mtls::LoadedLibrary& library, const mtls::WriteOptions& options)
{
    QByteArray script;
    auto line = [&script](char command, const QString& body) {
        script.append(command).append(body.toUtf8()).append('\n');
    };
    for (const mtls::DictionaryEntry& entry : library.dictionary)
        line('D', entry.text);
    for (const mtls::CatalogueRecord& record : library.records) {
        if (record.key.startsWith(QLatin1String("Flags/")))
            line('F', record.key.mid(6) + QLatin1Char('\t') +
                          record.value.toStringList().join(QLatin1Char(',')));
        else if (!record.key.startsWith(QLatin1String("Shaders/")) &&
                 !record.key.startsWith(QLatin1String("Params/")))
            line('T', record.key + QLatin1Char('\t') + record.value.toString());
    }
    for (const mtls::GridRow& row : library.grid.rows) {
        script.append("R\n");
        for (const mtls::Cell& cell : row) {
            if (cell)
                line('C', *cell);
            else
                script.append("N\n");
        }
    }
    if (options.preview)
        script.append("P\n");
    if (!options.savePath.isEmpty())
        line('S', options.savePath);
    return script;
}

} // namespace fuzzscript
