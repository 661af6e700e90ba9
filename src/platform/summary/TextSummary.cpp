// SPDX-License-Identifier: MIT
#include "summary/TextSummary.h"

#include <QHash>
#include <QSet>
#include <QStringView>
#include <unicode/brkiter.h>
#include <unicode/filteredbrk.h>
#include <unicode/locid.h>
#include <unicode/utext.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace qn::summary {

namespace {

const QSet<QString>& stopWords()
{
    static const QSet<QString> words = [] {
        const char* list[] = {
            "about", "above", "after", "again", "against", "all", "also", "am", "an", "and", "any",
            "are", "aren", "as", "at", "be", "because", "been", "before", "being", "below",
            "between", "both", "but", "by", "can", "could", "couldn", "did", "didn", "do", "does",
            "doesn", "doing", "don", "down", "during", "each", "few", "for", "from", "further",
            "had", "has", "have", "having", "he", "her", "here", "hers", "herself", "him",
            "himself", "his", "how", "if", "in", "into", "is", "isn", "it", "its", "itself",
            "just", "ll", "may", "me", "might", "more", "most", "must", "my", "myself", "no", "nor",
            "not", "now", "of", "off", "on", "once", "one", "only", "or", "other", "our", "ours",
            "ourselves", "out", "over", "own", "re", "same", "shall", "she", "should", "shouldn",
            "so", "some", "such", "than", "that", "the", "their", "theirs", "them", "themselves",
            "then", "there", "these", "they", "this", "those", "through", "to", "too", "under",
            "until", "up", "upon", "us", "ve", "very", "was", "wasn", "we", "were", "what", "when",
            "where", "which", "while", "who", "whom", "why", "will", "with", "won", "would",
            "wouldn", "you", "your", "yours", "yourself", "yourselves"};
        QSet<QString> s;
        for (const char* w : list)
            s.insert(QString::fromLatin1(w));
        return s;
    }();
    return words;
}

bool isLineEnd(QChar c)
{
    const char16_t u = c.unicode();
    return u == u'\n' || u == u'\r' || u == 0x85 || u == 0x2028 || u == 0x2029;
}

// Leading blanks of a line (tabs count as blanks too).
qsizetype indentation(QStringView line)
{
    qsizetype n = 0;
    while (n < line.size() && line.at(n).isSpace())
        ++n;
    return n;
}

// Rejoins hard-wrapped text: a single line end inside a paragraph becomes a
// space; paragraphs end at blank lines, at a paragraph separator (U+2029), and
// at a line end followed by deeper indentation than the line before (texts
// that indent each paragraph's first line). The result has exactly one "\n"
// between paragraphs, with each line trimmed.
QString unwrap(const QString& text)
{
    QString out;
    out.reserve(text.size());
    bool inParagraph = false;
    qsizetype previousIndent = 0;
    qsizetype pos = 0;
    const qsizetype n = text.size();
    while (pos <= n) {
        qsizetype end = pos;
        while (end < n && !isLineEnd(text.at(end)))
            ++end;
        const QStringView line = QStringView(text).mid(pos, end - pos);
        const bool separator = end < n && text.at(end).unicode() == 0x2029;
        const QStringView content = line.trimmed();
        if (content.isEmpty()) {
            inParagraph = false;  // a blank line ends the paragraph
        } else {
            const qsizetype indent = indentation(line);
            if (inParagraph && indent > previousIndent)
                inParagraph = false;
            if (!out.isEmpty())
                out += inParagraph ? u' ' : u'\n';
            out += content;
            inParagraph = true;
            previousIndent = indent;
        }
        if (separator)
            inParagraph = false;
        if (end >= n)
            break;
        // "\r\n" is one line end.
        pos = end + 1;
        if (text.at(end) == u'\r' && pos < n && text.at(pos) == u'\n')
            ++pos;
    }
    return out;
}

struct Sentence {
    qsizetype start = 0;
    qsizetype length = 0;
    int paragraph = 0;
    double weight = 0;  // sum of its words' weights
    int words = 0;      // words counted
    double score = 0;
};

struct Paragraph {
    int first = 0;
    int count = 0;
    double score = 0;
};

// Indices of the n best items (score, then earlier first), in text order.
template <typename T>
std::vector<int> best(const std::vector<T>& items, int n)
{
    std::vector<int> order(items.size());
    std::iota(order.begin(), order.end(), 0);
    n = std::min<int>(n, int(items.size()));
    std::partial_sort(order.begin(), order.begin() + n, order.end(), [&](int a, int b) {
        if (items[a].score != items[b].score)
            return items[a].score > items[b].score;
        return a < b;
    });
    order.resize(n);
    std::sort(order.begin(), order.end());
    return order;
}

}  // namespace

struct TextSummary::Impl {
    QString text;
    std::vector<Sentence> sentences;
    std::vector<Paragraph> paragraphs;

    void segment();
    void rank();
    QStringView view(const Sentence& s) const { return QStringView(text).mid(s.start, s.length); }
};

void TextSummary::Impl::segment()
{
    if (text.isEmpty())
        return;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(
        icu::BreakIterator::createSentenceInstance(icu::Locale("en"), status));
    std::unique_ptr<icu::FilteredBreakIteratorBuilder> filter(
        icu::FilteredBreakIteratorBuilder::createInstance(icu::Locale("en"), status));
    if (U_FAILURE(status) || !it || !filter)
        return;
    // ICU's English list lacks some titles that rarely end a sentence.
    for (const char* abbreviation : {"Dr.", "Prof.", "Rev.", "Gen.", "Gov.", "Capt.", "Col.",
                                     "Lt.", "Sgt.", "Sr.", "Jr.", "St.", "vs.", "e.g.", "i.e."})
        filter->suppressBreakAfter(icu::UnicodeString::fromUTF8(abbreviation), status);
    it.reset(filter->wrapIteratorWithFilter(it.release(), status));
    if (U_FAILURE(status) || !it)
        return;
    UText* ut = utext_openUChars(nullptr, reinterpret_cast<const UChar*>(text.utf16()),
                                 text.size(), &status);
    if (U_FAILURE(status))
        return;
    it->setText(ut, status);
    if (U_FAILURE(status)) {
        utext_close(ut);
        return;
    }
    // The sentence rules always break after a line end, so a segment never
    // spans two lines and a line end can only trail a segment.
    bool newParagraph = true;
    qsizetype start = it->first();
    for (qsizetype end = it->next(); end != icu::BreakIterator::DONE; start = end, end = it->next()) {
        qsizetype b = start, e = end;
        bool endsLine = false;
        while (e > b && text.at(e - 1).isSpace()) {
            endsLine = endsLine || isLineEnd(text.at(e - 1));
            --e;
        }
        while (b < e && text.at(b).isSpace())
            ++b;
        if (b < e) {
            if (newParagraph || paragraphs.empty()) {
                paragraphs.push_back({int(sentences.size()), 0, 0});
                newParagraph = false;
            }
            sentences.push_back({b, e - b, int(paragraphs.size()) - 1, 0});
            ++paragraphs.back().count;
        }
        if (endsLine)
            newParagraph = true;
    }
    utext_close(ut);
}

void TextSummary::Impl::rank()
{
    const QSet<QString>& stop = stopWords();
    QHash<QString, int> ids;
    std::vector<int> frequency;
    std::vector<std::vector<int>> words(sentences.size());
    for (size_t i = 0; i < sentences.size(); ++i) {
        const QStringView s = view(sentences[i]);
        qsizetype p = 0;
        while (p < s.size()) {
            while (p < s.size() && !s.at(p).isLetterOrNumber())
                ++p;
            qsizetype q = p;
            while (q < s.size() && s.at(q).isLetterOrNumber())
                ++q;
            if (q - p > 1) {
                const QString w = s.mid(p, q - p).toString().toLower();
                if (!stop.contains(w)) {
                    auto found = ids.constFind(w);
                    int id;
                    if (found == ids.constEnd()) {
                        id = int(frequency.size());
                        ids.insert(w, id);
                        frequency.push_back(0);
                    } else {
                        id = found.value();
                    }
                    ++frequency[id];
                    words[i].push_back(id);
                }
            }
            p = q;
        }
    }
    for (size_t i = 0; i < sentences.size(); ++i) {
        if (words[i].empty())
            continue;
        double sum = 0;
        for (int id : words[i])
            sum += frequency[id];
        sentences[i].weight = sum;
        sentences[i].words = int(words[i].size());
        double score = sum / std::sqrt(double(words[i].size()));
        const Paragraph& p = paragraphs[sentences[i].paragraph];
        if (i == 0)
            score *= 1.5;
        else if (int(i) == p.first)
            score *= 1.2;
        sentences[i].score = score;
    }
    for (Paragraph& p : paragraphs) {
        double sum = 0;
        int count = 0;
        for (int i = p.first; i < p.first + p.count; ++i) {
            sum += sentences[i].weight;
            count += sentences[i].words;
        }
        p.score = count ? sum / std::sqrt(double(count)) : 0;
    }
}

TextSummary::TextSummary(const QString& text) : _d(std::make_unique<Impl>())
{
    _d->text = unwrap(text);
    _d->segment();
    _d->rank();
}

TextSummary::~TextSummary() = default;

int TextSummary::sentenceCount() const { return int(_d->sentences.size()); }

int TextSummary::paragraphCount() const { return int(_d->paragraphs.size()); }

QString TextSummary::sentence(int i) const
{
    if (i < 0 || i >= sentenceCount())
        return {};
    return _d->view(_d->sentences[i]).toString();
}

QString TextSummary::sentenceSummary(int n) const
{
    if (n <= 0)
        return {};
    QString out;
    for (int i : best(_d->sentences, n)) {
        if (!out.isEmpty())
            out += u' ';
        out += _d->view(_d->sentences[i]);
    }
    return out;
}

QString TextSummary::paragraphSummary(int n) const
{
    if (n <= 0)
        return {};
    QString out;
    for (int pi : best(_d->paragraphs, n)) {
        if (!out.isEmpty())
            out += u'\n';
        const Paragraph& p = _d->paragraphs[pi];
        for (int i = p.first; i < p.first + p.count; ++i) {
            if (i > p.first)
                out += u' ';
            out += _d->view(_d->sentences[i]);
        }
    }
    return out;
}

}  // namespace qn::summary
