// The saved state's layout on its own: the document it writes, the entries it reads, the probe
// that keeps the framework's XML parser away from texts it cannot take safely, and the text form
// of a byte block in the settings file.

#include "StateFormat.h"
#include "processor_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
    const std::string swellAt075 = "<PARAM ID=\"pot_swl\" ValueFloat=\"0.75\">Swell</PARAM>";

    std::string nest (int levels, const std::string& open, const std::string& close)
    {
        return repeated (open, levels) + repeated (close, levels);
    }

    struct TextCase
    {
        const char* description;
        std::string xml;
        bool loads;   // the text is read, and its Swell entry with it
    };

    void PrintTo (const TextCase& c, std::ostream* os)
    {
        *os << c.description;
    }

    std::vector<TextCase> textCases()
    {
        const std::string deep = nest (300, "<G>", "</G>");

        return {
            { "root and 255 levels below it", presetXml (swellAt075 + nest (255, "<G>", "</G>")), true },
            { "root and 256 levels below it", presetXml (swellAt075 + nest (256, "<G>", "</G>")), false },
            { "a hundred thousand levels", presetXml (swellAt075 + nest (100000, "<G>", "</G>")), false },
            { "unclosed deep nesting", presetXml (swellAt075 + repeated ("<G>", 100000)), false },
            { "5000 extra siblings", presetXml (repeated ("<EXTRA a=\"1\"/><EXTRA>text</EXTRA>", 2500) + swellAt075), true },
            { "5000 extra siblings after the parameters", presetXml (swellAt075 + repeated ("<G><H/></G>", 5000)), true },
            { "tags inside comments", presetXml (swellAt075 + repeated ("<!-- <G><G><G> -->", 2000)), true },
            { "tags inside CDATA", presetXml (swellAt075 + repeated ("<![CDATA[<G><G><G>]]>", 2000)), true },
            { "tags inside processing instructions", presetXml (swellAt075 + repeated ("<?pi <G><G> ?>", 2000)), true },
            { "a processing instruction before text", presetXml (swellAt075 + "<?pi?>text"), false },
            { "a processing instruction before white space and an element", presetXml (swellAt075 + "<?pi?> <E/>"), true },
            { "tags inside attribute values", presetXml (repeated ("<E a=\"<G><G><G>\" b='>>><<<'/>", 2000) + swellAt075), true },
            { "closers inside comments do not close", presetXml (swellAt075 + nest (300, "<G><!-- </G> -->", "</G>")), false },
            { "closers inside attributes do not close", presetXml (swellAt075 + nest (300, "<G a=\"</G>\">", "</G>")), false },
            { "closers inside CDATA do not close", presetXml (swellAt075 + nest (300, "<G><![CDATA[</G>]]>", "</G>")), false },
            { "comments inside tags", presetXml (swellAt075 + nest (300, "<G <!-- > </G> --> >", "</G>")), false },
            { "a quote without an equals sign", presetXml (swellAt075 + repeated ("<E \"<G><G><G>\"/>", 200)), false },
            { "markup in an unknown entity", presetXml (swellAt075 + "&<G><G>;"), false },
            { "a document type", "<?xml version=\"1.0\"?><!DOCTYPE r [ <!ENTITY a \"&a;\"> ]><OrqPRESET>" + swellAt075 + "&a;</OrqPRESET>",
              false },
            { "a reference running into the end", presetXml (swellAt075) + "&#x", true },
            { "references and non-ASCII text",
              presetXml ("<PARAM ID=\"pot_swl\" ValueFloat=\"0.75\">Sw&#xe9;ll &amp; \xc3\xa9 &#233;</PARAM>"), true },
            { "deep after the root closes", presetXml (swellAt075) + deep, true },
            { "a truncated multi-byte character", presetXml (swellAt075) + "\xf0", false },
            { "a stray continuation byte", presetXml ("<PARAM ID=\"pot_swl\" ValueFloat=\"0.75\">\x80</PARAM>"), false },
        };
    }
}

//==============================================================================
TEST (StateDocument, ReadingBackTheWrittenDocumentGivesEveryValue)
{
    StateFormat::Values values;

    for (int row = 0; row < numFxParams; ++row)
        values[(size_t) row] = 0.0625f * (float) row - 0.125f;

    juce::MemoryBlock block;
    juce::AudioProcessor::copyXmlToBinary (*StateFormat::createDocument (values), block);
    const auto entries = StateFormat::readEntries (block.getData(), (int) block.getSize());

    ASSERT_EQ (entries.size(), (size_t) numFxParams);

    for (int row = 0; row < numFxParams; ++row)
    {
        EXPECT_EQ (entries[(size_t) row].row, row);
        EXPECT_EQ (entries[(size_t) row].value, values[(size_t) row]);
    }
}

class StateTextTest : public ::testing::TestWithParam<TextCase>
{
};

TEST_P (StateTextTest, UnsafeTextsAreRefusedAndEverythingElseIsRead)
{
    const auto& c = GetParam();
    const auto entries = StateFormat::readEntries (wrapState (c.xml).data(), (int) wrapState (c.xml).size());
    const bool swellRead = entries.size() == 1 && entries[0].row == 2 && entries[0].value == 0.75f;
    EXPECT_EQ (swellRead, c.loads);
    EXPECT_TRUE (swellRead || entries.empty());

    if (juce::CharPointer_UTF8::isValidString (c.xml.data(), (int) c.xml.size()))
    {
        const auto text = juce::String::fromUTF8 (c.xml.data(), (int) c.xml.size());
        EXPECT_EQ (StateFormat::isSafeToParse (text), c.loads);
        EXPECT_EQ (StateFormat::isSafeToParse (text), c.loads) << "a second look gives another answer";
    }
}

INSTANTIATE_TEST_SUITE_P (Texts, StateTextTest, ::testing::ValuesIn (textCases()),
                          [] (const ::testing::TestParamInfo<TextCase>& testInfo)
                          {
    return juce::String (testInfo.param.description)
        .retainCharacters ("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 ")
        .replaceCharacter (' ', '_')
        .toStdString();
});

//==============================================================================
TEST (StateText, OnlyTheFrameworksOwnFormOfAByteBlockIsSound)
{
    juce::MemoryBlock state;
    SpoolwarpAudioProcessor().getStateInformation (state);
    const auto text = state.toBase64Encoding();
    const auto data = text.fromFirstOccurrenceOf (".", false, false);

    const std::pair<juce::String, bool> cases[] {
        { text, true },
        { juce::MemoryBlock().toBase64Encoding(), true },
        { "855." + data, true },    // fewer bytes than the data holds
        { "857." + data, false },   // more bytes than the data holds
        { "-1.AAAA", false },
        { "+3.AAAA", false },
        { " 3.AAAA", false },
        { "2000000000.AAAA", false },
        { "4294967353.AAAA", false },
        { "99999999999." + data, false },
        { ".AAAA", false },
        { "3.AA=A", false },
        { "3.AA A", false },
        { juce::String::fromUTF8 ("3.A\xc3\xa9"
                                  "AA"),
          false },
        { "VMjLg7z", false },
        { "", false },
    };

    for (const auto& [candidate, sound] : cases)
        EXPECT_EQ (StateFormat::isMemoryBlockText (candidate), sound) << candidate.substring (0, 40);
}
