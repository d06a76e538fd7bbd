#pragma once

#include <juce_core/juce_core.h>

/** How the processor's state is kept in text. */
namespace StateFormat
{
    /** True when text is a byte block as the framework writes one into a settings file
        (juce::MemoryBlock::toBase64Encoding): a decimal size, a dot, then only characters of the
        framework's base-64 alphabet, enough of them to carry that many bytes. The framework's
        reader takes whatever stands before the dot as the size to allocate, so a text of any
        other form can exhaust the memory or stand for bytes that were never saved.
    */
    bool isMemoryBlockText (juce::StringRef text);
}
