#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace vexs {

// Slave addresses as a person writes them on a command line: "1-32,40" is
// 1..32 and 40, in that order, each once. nullopt for anything else, a range
// that runs backwards or an address outside 1..255.
std::optional<QList<int>> parseAddressList(const QString &text);

} // namespace vexs
