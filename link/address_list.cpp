#include "link/address_list.h"

#include <QRegularExpression>

namespace vexs {

std::optional<QList<int>> parseAddressList(const QString &text)
{
    constexpr int kMaxAddress = 255;
    // Leading zeros are allowed however many ("001", "0001"); what is left
    // of a number may have three digits at most.
    static const QRegularExpression part(QStringLiteral(R"(^0*(\d{1,3})(?:-0*(\d{1,3}))?$)"));
    auto number = [](const QString &digits) -> std::optional<int> {
        const int v = digits.toInt();
        return v >= 1 && v <= kMaxAddress ? std::optional<int>(v) : std::nullopt;
    };
    QList<int> addresses;
    for (const QString &piece : text.split(QLatin1Char(','))) {
        const QRegularExpressionMatch m = part.match(piece.trimmed());
        if (!m.hasMatch())
            return std::nullopt;
        const auto first = number(m.captured(1));
        const auto last = m.captured(2).isEmpty() ? first : number(m.captured(2));
        if (!first || !last || *last < *first)
            return std::nullopt;
        for (int a = *first; a <= *last; ++a) {
            if (!addresses.contains(a))
                addresses << a;
        }
    }
    return addresses;
}

} // namespace vexs
