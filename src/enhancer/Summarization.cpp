// SPDX-License-Identifier: MIT
#include "Summarization.h"

#include "summary/TextSummary.h"

Summarization::Summarization() = default;
Summarization::~Summarization() = default;

void Summarization::setString(const QString& string)
{
    if (string.isNull() == _string.isNull() && string == _string)
        return;
    _string = string;
    _summary.reset();
    if (!_string.isNull())
        _summary = std::make_unique<qn::summary::TextSummary>(_string);
}

void Summarization::setSummaryPercent(int percent)
{
    if (percent < 1 || percent > 100)
        throw std::out_of_range("The new value is out of range.");
    _percent = percent;
}

int Summarization::sentenceSummaryCount() const
{
    if (!_summary)
        return 0;
    const float count = float(_summary->sentenceCount()) * float(_percent) / 100.0f + 0.5f;
    return int(count);
}

int Summarization::paragraphSummaryCount() const { return sentenceSummaryCount(); }

QString Summarization::sentenceSummaryString() const
{
    const int n = sentenceSummaryCount();
    if (!_summary || n == 0)
        return {};
    const QString s = _summary->sentenceSummary(n);
    return s.isEmpty() ? QString() : s;
}

QString Summarization::paragraphSummaryString() const
{
    const int n = paragraphSummaryCount();
    if (!_summary || n == 0)
        return {};
    const QString s = _summary->paragraphSummary(n);
    return s.isEmpty() ? QString() : s;
}
