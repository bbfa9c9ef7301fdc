#include "DragPayload.h"

#include "FilePath.h"

#include <QMimeData>
#include <QUrl>

namespace DragPayload {

QStringList localPathsOfUriList(const QByteArray &uriList)
{
    QStringList paths;
    for (QByteArray line : uriList.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        // file:///path or file://localhost/path; another host is not this machine.
        static const QByteArray scheme = "file://";
        if (!line.toLower().startsWith(scheme))
            continue;
        QByteArray rest = line.mid(scheme.size());
        if (rest.toLower().startsWith("localhost/"))
            rest = rest.mid(9);
        if (!rest.startsWith('/'))
            continue;
        const QByteArray bytes = QByteArray::fromPercentEncoding(rest);
        if (!bytes.contains('\0'))
            paths << FilePath::decode(bytes);
    }
    return paths;
}

QStringList fileURLs(const QMimeData *data)
{
    if (!data)
        return {};
    static const QString uriList = QStringLiteral("text/uri-list");
    if (data->hasFormat(uriList))
        return localPathsOfUriList(data->data(uriList));
    QStringList paths;
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile())
            paths << url.toLocalFile();
    }
    return paths;
}

} // namespace DragPayload
