#include "VerifyPrinter.h"

#include "Console.h"
#include "Json.h"

namespace korvo::cli {

namespace {

const char* kindWord(VerifyFinding::Kind kind)
{
    switch (kind) {
    case VerifyFinding::Changed: return "changed";
    case VerifyFinding::Missing: return "missing";
    case VerifyFinding::Unreadable: return "unreadable";
    case VerifyFinding::Unlisted: return "unlisted";
    }
    return "";
}

QString jsonPath(const QByteArray& relativePath)
{
    return jsonString(NativePath::fromStoredBytes(relativePath).toText());
}

const int BadLines = 4; // the spool of bad lines, after those of the kinds

} // namespace

void TextVerifyPrinter::finding(const VerifyFinding& finding)
{
    QByteArray line = ChecksumManifest::shownPath(finding.relativePath) + ": " + kindWord(finding.kind);
    if (!finding.reason.isEmpty())
        line += " (" + finding.reason.toUtf8() + ')';
    clearProgressLine();
    out().bytes(line + '\n');
}

void TextVerifyPrinter::badLine(const ChecksumManifest::BadLine& bad)
{
    clearProgressLine();
    out().bytes(manifest_.bytes + " line " + QByteArray::number(bad.line) + ": " + bad.reason.toUtf8() + '\n');
}

void TextVerifyPrinter::printSummary(const VerifyReport& report)
{
    if (report.allMatch()) {
        out() << QStringLiteral("OK: all %1 files listed in %2 match.\n").arg(report.listed).arg(manifest_.shown);
        return;
    }
    out() << QStringLiteral("FAILED: %1 changed, %2 missing, %3 unreadable, %4 unlisted, %5 bad manifest lines; "
                            "%6 of %7 listed files match.\n")
                 .arg(report.count(VerifyFinding::Changed))
                 .arg(report.count(VerifyFinding::Missing))
                 .arg(report.count(VerifyFinding::Unreadable))
                 .arg(report.count(VerifyFinding::Unlisted))
                 .arg(report.badLines)
                 .arg(report.matched)
                 .arg(report.listed);
}

void JsonVerifyPrinter::add(Spool& spool, const QString& item)
{
    spool.append(spool.isEmpty() ? item.toUtf8() : ", " + item.toUtf8());
}

void JsonVerifyPrinter::finding(const VerifyFinding& finding)
{
    if (finding.kind == VerifyFinding::Unreadable)
        add(lists_[finding.kind], QStringLiteral("{\"path\": %1, \"error\": %2}")
                                      .arg(jsonPath(finding.relativePath), jsonString(finding.reason)));
    else
        add(lists_[finding.kind], jsonPath(finding.relativePath));
}

void JsonVerifyPrinter::badLine(const ChecksumManifest::BadLine& bad)
{
    add(lists_[BadLines], QStringLiteral("{\"line\": %1, \"error\": %2}").arg(bad.line).arg(jsonString(bad.reason)));
}

bool JsonVerifyPrinter::print(const VerifyReport& report, QString* errorString)
{
    for (const Spool& spool : lists_) {
        if (!spool.errorString().isEmpty()) {
            *errorString = QStringLiteral("cannot keep the findings: %1").arg(spool.errorString());
            return false;
        }
    }
    out() << (QStringLiteral("{\"") + key_
              + QStringLiteral("\": %1, \"manifest\": %2, \"ok\": %3, \"listed\": %4, \"matched\": %5, \"changed\": ["))
                 .arg(jsonString(target_.toText()), jsonString(manifest_.shown), jsonBool(report.allMatch()))
                 .arg(report.listed)
                 .arg(report.matched);
    const char* const keys[] = {"], \"missing\": [", "], \"unlisted\": [", "], \"unreadable\": [", "], \"badLines\": ["};
    const int order[] = {VerifyFinding::Changed, VerifyFinding::Missing, VerifyFinding::Unlisted,
                         VerifyFinding::Unreadable, BadLines};
    for (int i = 0; i < 5; ++i) {
        if (i > 0)
            out() << keys[i - 1];
        if (!lists_[order[i]].printTo(out())) {
            *errorString = QStringLiteral("cannot read back the findings: %1").arg(lists_[order[i]].errorString());
            return false;
        }
    }
    out() << "]}\n";
    return true;
}

void JsonVerifyPrinter::printError(const QString& error)
{
    out() << (QStringLiteral("{\"") + key_ + QStringLiteral("\": %1, \"manifest\": %2, \"ok\": false, \"error\": %3}\n"))
                 .arg(jsonString(target_.toText()), jsonString(manifest_.shown), jsonString(error));
}

} // namespace korvo::cli
