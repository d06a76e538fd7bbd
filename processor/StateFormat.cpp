#include "StateFormat.h"

bool StateFormat::isMemoryBlockText (juce::StringRef text)
{
    static constexpr const char* alphabet = ".ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+";
    constexpr int maxSizeDigits = 10;

    const juce::String block (text.text);
    const auto dot = block.indexOfChar ('.');

    if (dot < 1 || dot > maxSizeDigits)
        return false;

    const auto size = block.substring (0, dot);
    const auto data = block.substring (dot + 1);

    return size.containsOnly ("0123456789")
        && data.containsOnly (alphabet)
        && size.getLargeIntValue() <= (juce::int64) data.length() * 6 / 8;
}
