// SPDX-License-Identifier: MIT
// src/platform/summary: extractive summaries of plain text.
#pragma once
// Extractive summaries of plain text.
//
// The text is cut into paragraphs at blank lines, at paragraph separators
// (U+2029) and at line ends followed by deeper indentation than the line
// before (texts that indent first lines); any other line end is a space, so
// hard-wrapped text reads as running text. Each paragraph is cut into
// sentences with ICU's English sentence break rules (with ICU's English
// suppressions plus a few titles, so "Mr.", "Dr." or "Jan." do not end a
// sentence). Sentences come back with their line ends as single spaces.
//
// Ranking, in the manner of classic term-frequency summarisers:
//   - words are maximal runs of letters and digits, lower-cased; stop words
//     (a fixed English list) and one-letter words are ignored;
//   - each remaining word weighs as often as it occurs in the whole text;
//   - a sentence scores the sum of its words' weights divided by the square
//     root of its word count (long sentences do not win by length alone),
//     times 1.5 for the first sentence of the text and 1.2 for the first
//     sentence of any other paragraph (openings tend to state the topic);
//   - a paragraph scores like one long sentence: the sum of its words'
//     weights divided by the square root of its word count (no position
//     factor), so a paragraph dense in key terms wins, and a long one wins
//     over a short one of the same density.
// Ties go to the earlier sentence or paragraph. A summary of N items is made
// of the N best, put back in text order; sentences are joined by one space,
// paragraphs by a line end.
#include <QString>
#include <memory>

namespace qn::summary {

class TextSummary {
public:
    explicit TextSummary(const QString& text);
    ~TextSummary();
    TextSummary(const TextSummary&) = delete;
    TextSummary& operator=(const TextSummary&) = delete;

    int sentenceCount() const;
    int paragraphCount() const;

    /// The n best sentences in text order; an empty string when n <= 0 or the
    /// text has no sentence. n larger than the count gives every sentence.
    QString sentenceSummary(int n) const;
    /// The n best paragraphs in text order, joined by "\n".
    QString paragraphSummary(int n) const;

    /// Sentence i (0-based, text order), trimmed; for tests and tools.
    QString sentence(int i) const;

private:
    struct Impl;
    std::unique_ptr<Impl> _d;
};

}  // namespace qn::summary
