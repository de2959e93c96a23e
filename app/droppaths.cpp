#include "app/droppaths.h"

#include <QDir>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace droppaths {

QStringList localPaths(const QMimeData* mime)
{
    QStringList paths;
    if (!mime)
        return paths;
    const QList<QUrl> urls = mime->urls();
    for (const QUrl& url : urls)
        paths.append(QDir::fromNativeSeparators(url.toLocalFile()));
    return paths;
}

QStringList libraryPaths(const QMimeData* mime)
{
    QStringList paths;
    for (const QString& path : localPaths(mime)) {
        if (path.contains(QLatin1String(".mtls"), Qt::CaseSensitive))
            paths.append(path);
    }
    return paths;
}

void enableDrops(QWidget* holder, QWidget* table, QWidget* viewport)
{
    if (holder)
        holder->setAcceptDrops(true);
    table->setAcceptDrops(true);
    viewport->setAcceptDrops(true);
}

} // namespace droppaths
