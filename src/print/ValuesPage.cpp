// The report's page of a sample's stored values.
#include "ValuesPage.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <string>

namespace {

using engine::SampleValue;

// Facts that say where the sample was taken, listed first.
bool isPlace(const std::string& analyte) {
    const QString a = QString::fromStdString(analyte).toLower();
    for (const char* lead : {"latitude", "longitude", "elevation", "depth"})
        if (a.startsWith(lead))
            return true;
    return false;
}

// As written: "0.00002", not "2e-05"; up to 15 significant digits.
QString number(double d) {
    QString text = QString::number(d, 'g', 15);
    if (!text.contains('e') || d == 0 || std::abs(d) < 1e-12 || std::abs(d) >= 1e15)
        return text;
    const int decimals = std::max(0, 14 - static_cast<int>(std::floor(std::log10(std::abs(d)))));
    text = QString::number(d, 'f', decimals);
    if (text.contains('.')) {
        while (text.endsWith('0'))
            text.chop(1);
        if (text.endsWith('.'))
            text.chop(1);
    }
    return text;
}

} // namespace

QString ValuesPage::valueText(const SampleValue& v) {
    if (!v.value)
        return QString::fromStdString(v.text);
    QString text = number(*v.value);
    if (v.qualifier == '<' || v.qualifier == '>')
        text.prepend(QChar(v.qualifier));
    if (v.uncertainty)
        text += QString::fromUtf8(" \u00b1 ") + number(*v.uncertainty);
    if (!v.unit.empty())
        text += " " + QString::fromStdString(v.unit);
    return text;
}

std::vector<ValuesPage::Line> ValuesPage::lines(const QString& sample, std::int64_t id,
                                                const std::vector<SampleValue>& values) {
    std::vector<Line> out;
    if (values.empty())
        return out;
    std::map<std::string, int> cited; // reference -> its number
    std::vector<const std::string*> references;
    auto line = [&](const SampleValue& v) {
        QString text = QString::fromStdString(v.analyte) + ": " + valueText(v);
        if (!v.method.empty())
            text += ", " + QString::fromStdString(v.method);
        if (!v.reference.empty()) {
            auto [it, added] = cited.emplace(v.reference, static_cast<int>(cited.size()) + 1);
            if (added)
                references.push_back(&it->first);
            text += QString(" [%1]").arg(it->second);
        }
        return Line{text, false};
    };
    out.push_back({QString("Values kept with sample %1 (ID %2)")
                       .arg(sample.isEmpty() ? QString("without a number") : sample)
                       .arg(id),
                   true});
    const struct {
        const char* heading;
        bool (*wanted)(const SampleValue&);
    } sections[] = {
        {"Where it was taken", [](const SampleValue& v) { return isPlace(v.analyte); }},
        {"About the sample",
         [](const SampleValue& v) { return !isPlace(v.analyte) && !v.value.has_value(); }},
        {"Values as reported",
         [](const SampleValue& v) { return !isPlace(v.analyte) && v.value.has_value(); }},
    };
    for (const auto& s : sections) {
        bool headed = false;
        for (const SampleValue& v : values) {
            if (!s.wanted(v))
                continue;
            if (!headed) {
                out.push_back({QString(), false});
                out.push_back({s.heading, true});
                headed = true;
            }
            out.push_back(line(v));
        }
    }
    if (!references.empty()) {
        out.push_back({QString(), false});
        out.push_back({"References", true});
        for (std::size_t i = 0; i < references.size(); ++i)
            out.push_back(
                {QString("[%1] %2").arg(i + 1).arg(QString::fromStdString(*references[i])), false});
    }
    return out;
}
