// SPDX-License-Identifier: MIT
#pragma once
// Holds a text and shortens it by sentences or by paragraphs. The summary
// length is a percentage of the text's sentence count.
#include <QString>
#include <memory>
#include <stdexcept>

namespace qn::summary {
class TextSummary;
}

class Summarization {
public:
    Summarization();
    ~Summarization();
    Summarization(const Summarization&) = delete;
    Summarization& operator=(const Summarization&) = delete;

    /// Replaces the text (a null string means none) and segments it at once.
    /// Setting the text already held does nothing.
    void setString(const QString& string);
    QString string() const { return _string; }

    /// Accepts 1 to 100. Anything else throws std::out_of_range with the
    /// reason "The new value is out of range." and keeps the old value.
    void setSummaryPercent(int percent);
    int summaryPercent() const { return _percent; }

    /// 0 without a text; otherwise sentences x percent / 100, rounded half up
    /// (computed in single precision).
    int sentenceSummaryCount() const;
    /// The same figure, used as the number of paragraphs wanted.
    int paragraphSummaryCount() const;

    /// Null without a text or when the count is 0.
    QString sentenceSummaryString() const;
    QString paragraphSummaryString() const;

private:
    QString _string;
    int _percent = 100;
    std::unique_ptr<qn::summary::TextSummary> _summary;
};
