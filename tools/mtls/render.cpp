#include "tools/mtls/render.h"

namespace cli {

QString jsonString(const QString& text)
{
    QString result;
    result += QLatin1Char('"');
    for (const QChar ch : text) {
        switch (ch.unicode()) {
        case '"':
            result += QLatin1String("\\\"");
            break;
        case '\\':
            result += QLatin1String("\\\\");
            break;
        case '\b':
            result += QLatin1String("\\b");
            break;
        case '\f':
            result += QLatin1String("\\f");
            break;
        case '\n':
            result += QLatin1String("\\n");
            break;
        case '\r':
            result += QLatin1String("\\r");
            break;
        case '\t':
            result += QLatin1String("\\t");
            break;
        default:
            if (ch.unicode() < 0x20)
                result += QStringLiteral("\\u%1").arg(ch.unicode(), 4, 16, QLatin1Char('0'));
            else
                result += ch;
        }
    }
    return result + QLatin1Char('"');
}

QString itemValue(const mtls::Item& item, const std::function<QString(quint16)>& reference)
{
    switch (item.type) {
    case 1:
    case 3:
        return QStringLiteral("numbers %1 %2").arg(item.first).arg(item.second);
    case 2:
        return QStringLiteral("values %1 %2").arg(hex64(item.first), hex64(item.second));
    case 4:
        return QStringLiteral("value ") + reference(item.valueWord());
    case 5:
        return QStringLiteral("hash ") + hex64(item.first);
    case mtls::GlobalFlagType:
        return QStringLiteral("word %1").arg(item.first);
    default:
        return QStringLiteral("words %1 %2").arg(item.first).arg(item.second);
    }
}

} // namespace cli
