#pragma once

#include <QString>

namespace korvo {

// The sentences the packing says, built in one place for the packaging
// dialog and korvo-cli alike.
namespace PackTexts {

// How many packages a packing made beside how many any packing needs at
// least: "パッケージ数：N（どのように詰めても最低M個必要です。）".
QString countLine(int packageCount, int lowerBound);
// The status after packing: "パッケージ作成完了。", then the count line
// when anything was packed.
QString packedStatus(int packageCount, int lowerBound);

} // namespace PackTexts
} // namespace korvo
