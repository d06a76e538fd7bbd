#include "StateFormat.h"

#include "Truncation.h"

#include <algorithm>

// The safety probe follows the parser of this framework version step by step.
#if JUCE_MAJOR_VERSION != 7 || JUCE_MINOR_VERSION != 0 || JUCE_BUILDNUMBER != 5
#error "XmlParseProbe follows juce::XmlDocument of JUCE 7.0.5: check it against this version's parser"
#endif

namespace
{
    constexpr uint32_t magicNumber = 0x21324356;   // "VC2!", the framework's byte-block header

    // The deepest nesting of elements that a state may hold; our own states nest two deep.
    constexpr int maxStateNesting = 256;

    /** Follows the framework's XML parser (juce::XmlDocument::parseDocumentElement, skipHeader,
        skipNextWhiteSpace, readNextElement, readChildElements, readQuotedString and readEntity of
        JUCE 7.0.5) through a text, without building anything, and tells whether parsing it would be
        unsafe: its recursion (one level for each element whose children it reads) deeper than a
        limit, entities declared in a document type (their expansion recurses without a bound), an
        unknown entity in text whose name is markup (the parser parses it as elements, recursing
        again), a character reference that runs into the end of the text (the parser then reads past
        its buffer), or a processing instruction followed by text among an element's children (the
        parser loops there for ever). One probe reads one text once.
    */
    class XmlParseProbe
    {
    public:
        XmlParseProbe (juce::String::CharPointerType text, int maxDepthToUse) noexcept
            : input (text),
              maxDepth (maxDepthToUse)
        {
        }

        bool isUnsafe() noexcept
        {
            if (input.isEmpty() || ! skipHeader())
                return false;

            if (juce::CharacterFunctions::compareUpTo (input, juce::CharPointer_ASCII ("<!DOCTYPE"), 9) == 0)
                return true;

            if (readElementStart() != ElementStart::withChildren)
                return unsafe;

            for (int depth = 1; depth > 0 && ! unsafe;)
            {
                const auto stepStart = input;

                switch (readChildStep())
                {
                    // A step that reads nothing repeats for ever: the parser does that with a
                    // processing instruction followed by text.
                    case ChildStep::next:
                        if (input == stepStart)
                            return true;
                        break;
                    case ChildStep::closeParent: --depth; break;
                    case ChildStep::openChild:
                        if (++depth > maxDepth)
                            return true;
                        break;
                }
            }

            return unsafe;
        }

    private:
        enum class ElementStart
        {
            none,
            withoutChildren,
            withChildren
        };
        enum class ChildStep
        {
            next,
            closeParent,
            openChild
        };

        static bool isIdentifierChar (juce::juce_wchar c) noexcept
        {
            static const uint32_t legalChars[] = { 0, 0x7ff6000, 0x87fffffe, 0x7fffffe, 0 };

            if (c >= 0 && c < 160)
                return (legalChars[c >> 5] & (uint32_t) (1u << (c & 31))) != 0;

            return juce::CharacterFunctions::isLetterOrDigit (c) || c == '_' || c == '-' || c == ':' || c == '.';
        }

        juce::String::CharPointerType endOfToken (juce::String::CharPointerType p) const noexcept
        {
            while (isIdentifierChar (*p))
                ++p;

            return p;
        }

        juce::juce_wchar readNextChar() noexcept
        {
            const auto c = input.getAndAdvance();

            if (c == 0)
            {
                outOfData = true;
                --input;
            }

            return c;
        }

        bool skipHeader() noexcept
        {
            skipWhiteSpace();

            if (juce::CharacterFunctions::compareUpTo (input, juce::CharPointer_ASCII ("<?xml"), 5) != 0)
                return true;

            const auto headerEnd = juce::CharacterFunctions::find (input, juce::CharPointer_ASCII ("?>"));

            if (headerEnd.isEmpty())
                return false;

            input = headerEnd + 2;
            skipWhiteSpace();
            return true;
        }

        // White space, comments and processing instructions.
        void skipWhiteSpace() noexcept
        {
            for (;;)
            {
                input.incrementToEndOfWhitespace();

                if (input.isEmpty())
                {
                    outOfData = true;
                    return;
                }

                if (*input != '<')
                    return;

                const bool comment = input[1] == '!' && input[2] == '-' && input[3] == '-';

                if (! comment && input[1] != '?')
                    return;

                input += comment ? 4 : 2;
                const auto close = input.indexOf (juce::CharPointer_ASCII (comment ? "-->" : "?>"));

                if (close < 0)
                {
                    outOfData = true;
                    return;
                }

                input += close + (comment ? 3 : 2);
            }
        }

        void readQuotedString() noexcept
        {
            const auto quote = readNextChar();

            while (! outOfData)
            {
                const auto c = readNextChar();

                if (c == quote)
                    return;

                --input;

                if (c == '&')
                {
                    readEntity (false);
                    continue;
                }

                for (;; ++input)
                {
                    if (*input == quote)
                    {
                        ++input;
                        return;
                    }

                    if (*input == '&')
                        break;

                    if (*input == 0)
                    {
                        outOfData = true;
                        break;
                    }
                }
            }
        }

        void readEntity (bool inText) noexcept
        {
            ++input;

            if (input.compareIgnoreCaseUpTo (juce::CharPointer_ASCII ("amp;"), 4) == 0)
            {
                input += 4;
                return;
            }
            if (input.compareIgnoreCaseUpTo (juce::CharPointer_ASCII ("quot;"), 5) == 0)
            {
                input += 5;
                return;
            }
            if (input.compareIgnoreCaseUpTo (juce::CharPointer_ASCII ("apos;"), 5) == 0)
            {
                input += 5;
                return;
            }
            if (input.compareIgnoreCaseUpTo (juce::CharPointer_ASCII ("lt;"), 3) == 0)
            {
                input += 3;
                return;
            }
            if (input.compareIgnoreCaseUpTo (juce::CharPointer_ASCII ("gt;"), 3) == 0)
            {
                input += 3;
                return;
            }

            if (*input == '#')
            {
                ++input;

                if (*input == 'x' || *input == 'X')
                {
                    ++input;

                    for (int numChars = 0; input[0] != ';'; ++input)
                    {
                        if (input[0] == 0)
                        {
                            unsafe = true;
                            return;
                        }

                        if (juce::CharacterFunctions::getHexDigitValue (input[0]) < 0 || ++numChars > 8)
                            break;
                    }

                    ++input;
                }
                else if (input[0] >= '0' && input[0] <= '9')
                {
                    for (int numChars = 0; input[0] != ';'; ++input)
                    {
                        if (input[0] == 0)
                            return;

                        if (++numChars > 12)
                            break;
                    }

                    ++input;
                }

                return;
            }

            // The parser hands an unknown entity back as its own name, and in text it parses a
            // name starting with '<' as markup of its own: refuse that rather than follow it.
            const auto semicolon = input.indexOf ((juce::juce_wchar) ';');

            if (semicolon < 0)
            {
                outOfData = true;
                return;
            }

            unsafe = unsafe || (inText && *input == '<');
            input += semicolon + 1;
        }

        // The parser's element reader up to the point where it would read the element's children.
        ElementStart readElementStart() noexcept
        {
            skipWhiteSpace();

            if (outOfData || *input != '<')
                return ElementStart::none;

            ++input;
            auto tokenEnd = endOfToken (input);

            if (tokenEnd == input)
            {
                skipWhiteSpace();
                tokenEnd = endOfToken (input);

                if (tokenEnd == input)
                    return ElementStart::none;
            }

            input = tokenEnd;

            for (;;)
            {
                skipWhiteSpace();
                const auto c = *input;

                if (c == '/' && input[1] == '>')
                {
                    input += 2;
                    return ElementStart::withoutChildren;
                }

                if (c == '>')
                {
                    ++input;
                    return ElementStart::withChildren;
                }

                if (! isIdentifierChar (c))
                    return ElementStart::withoutChildren;

                input = endOfToken (input);
                skipWhiteSpace();

                if (readNextChar() != '=')
                    return ElementStart::withoutChildren;

                skipWhiteSpace();

                if (*input != '"' && *input != '\'')
                    return ElementStart::withoutChildren;

                readQuotedString();
            }
        }

        // One turn of the parser's loop over an element's children.
        ChildStep readChildStep() noexcept
        {
            const auto beforeWhiteSpace = input;
            skipWhiteSpace();

            if (outOfData)
                return ChildStep::closeParent;

            if (*input == '<')
            {
                if (input[1] == '/')
                {
                    const auto close = input.indexOf ((juce::juce_wchar) '>');

                    if (close >= 0)
                        input += close + 1;

                    return ChildStep::closeParent;
                }

                if (input[1] == '!' && juce::CharacterFunctions::compareUpTo (input + 2, juce::CharPointer_ASCII ("[CDATA["), 7) == 0)
                {
                    input += 9;

                    for (;; ++input)
                    {
                        if (*input == 0)
                        {
                            outOfData = true;
                            break;
                        }

                        if (*input == ']' && input[1] == ']' && input[2] == '>')
                        {
                            input += 3;
                            break;
                        }
                    }

                    return ChildStep::next;
                }

                switch (readElementStart())
                {
                    case ElementStart::none: return ChildStep::closeParent;
                    case ElementStart::withoutChildren: return ChildStep::next;
                    case ElementStart::withChildren: return ChildStep::openChild;
                }
            }

            input = beforeWhiteSpace;
            return readText();
        }

        ChildStep readText() noexcept
        {
            for (;;)
            {
                const auto c = *input;

                if (c == '<')
                {
                    if (input[1] != '!' || input[2] != '-' || input[3] != '-')
                        return ChildStep::next;

                    input += 4;
                    const auto close = input.indexOf (juce::CharPointer_ASCII ("-->"));

                    if (close < 0)
                        return endOfData();

                    input += close + 3;
                    continue;
                }

                if (c == 0)
                    return endOfData();

                if (c == '&')
                {
                    readEntity (true);
                    continue;
                }

                for (;; ++input)
                {
                    if (*input == '\r' && input[1] == '\n')
                        continue;

                    if (*input == '<' || *input == '&')
                        break;

                    if (*input == 0)
                        return endOfData();
                }
            }
        }

        ChildStep endOfData() noexcept
        {
            outOfData = true;
            return ChildStep::closeParent;
        }

        juce::String::CharPointerType input;
        const int maxDepth;
        bool outOfData = false;
        bool unsafe = false;
    };

    // The XML text of a state block, as the framework's unwrapper reads it: at most
    // min (size - 8, L) bytes from offset 8, ending at the first zero byte. Empty unless the
    // block has the magic number and an L above 0, and empty for text that is not valid UTF-8:
    // the framework's parser steps over the length a lead byte announces and would step past
    // the end of the text.
    juce::String stateText (const void* data, int sizeInBytes)
    {
        if (sizeInBytes <= 8 || juce::ByteOrder::littleEndianInt (data) != magicNumber)
            return {};

        const auto declaredLength = (int) juce::ByteOrder::littleEndianInt (juce::addBytesToPointer (data, 4));

        if (declaredLength <= 0)
            return {};

        const auto* begin = static_cast<const char*> (data) + 8;
        const auto length = (int) (std::find (begin, begin + juce::jmin (sizeInBytes - 8, declaredLength), '\0') - begin);

        if (! juce::CharPointer_UTF8::isValidString (begin, length))
            return {};

        return juce::String::fromUTF8 (begin, length);
    }
}

//==============================================================================
std::unique_ptr<juce::XmlElement> StateFormat::createDocument (const Values& values)
{
    auto root = std::make_unique<juce::XmlElement> ("OrqPRESET");

    for (int row = 0; row < numFxParams; ++row)
    {
        const auto& info = FxParams[row];
        const auto value = values[(size_t) row];
        auto* element = root->createNewChildElement ("PARAM");
        element->setAttribute ("ID", juce::String (info.textId));
        element->setAttribute ("ValueFloat", (double) value);
        element->setAttribute ("ValueMidi", (int) truncateToInt32 ((float) info.range * value));
        element->addTextElement (info.name);
    }

    return root;
}

std::vector<StateFormat::Entry> StateFormat::readEntries (const void* data, int sizeInBytes)
{
    const auto text = stateText (data, sizeInBytes);

    if (text.isEmpty() || ! isSafeToParse (text))
        return {};

    const auto xml = juce::parseXML (text);

    if (xml == nullptr || ! xml->getTagName().equalsIgnoreCase ("OrqPRESET"))
        return {};

    std::vector<Entry> entries;

    for (const auto* child : xml->getChildIterator())
    {
        if (! child->getTagName().equalsIgnoreCase ("PARAM"))
            continue;

        const int row = SpoolwarpAudioProcessor::getIntParamIdFromTextId (child->getStringAttribute ("ID"));

        if (row >= 0)
            entries.push_back ({ row, (float) child->getStringAttribute ("ValueFloat").getDoubleValue() });
    }

    return entries;
}

bool StateFormat::isSafeToParse (juce::StringRef text)
{
    return ! XmlParseProbe (text.text, maxStateNesting).isUnsafe();
}

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

    return size.containsOnly ("0123456789") && data.containsOnly (alphabet)
           && size.getLargeIntValue() <= (juce::int64) data.length() * 6 / 8;
}
