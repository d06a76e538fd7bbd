#pragma once

#include "PluginProcessor.h"

#include <array>
#include <memory>
#include <vector>

/** The saved state's layout: the parameter values as an XML document, the framework's byte block
    around it, and the framework's text form of that block in the settings file.
*/
namespace StateFormat
{
    using Values = std::array<float, numFxParams>;

    /** The state document of parameter values given in table order: a root "OrqPRESET" with one
        "PARAM" per row, each with its "ID", "ValueFloat" and "ValueMidi" and the row's name as text.
    */
    std::unique_ptr<juce::XmlElement> createDocument (const Values& values);

    /** One parameter value that a state sets. */
    struct Entry
    {
        int row;
        float value;
    };

    /** The values a state block sets, in document order: one entry per "PARAM" child of the root
        whose "ID" names a row, with its "ValueFloat" (0 when missing or not a number). Nothing when
        the block is not a state: a wrong header, text that is not valid UTF-8, not safe to parse
        (see isSafeToParse) or not well-formed, or a root with another tag.
    */
    std::vector<Entry> readEntries (const void* data, int sizeInBytes);

    /** True when the framework's XML parser reads the text safely: nesting no deeper than 256
        elements, no document type, no markup in an unknown entity, no character reference that runs
        into the end, and no processing instruction followed by text among an element's children.
        The same text always gives the same answer.
    */
    bool isSafeToParse (juce::StringRef text);

    /** True when text is a byte block as the framework writes one into a settings file
        (juce::MemoryBlock::toBase64Encoding): a decimal size, a dot, then only characters of the
        framework's base-64 alphabet, enough of them to carry that many bytes. The framework's
        reader takes whatever stands before the dot as the size to allocate, so a text of any
        other form can exhaust the memory or stand for bytes that were never saved.
    */
    bool isMemoryBlockText (juce::StringRef text);
}
