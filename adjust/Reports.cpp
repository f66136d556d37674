#include "adjust/Reports.h"

#include "serial/CommandExchange.h"

namespace zul {

namespace {
// Index of the first line a report deletes: line 0, the title, survives.
constexpr std::size_t kFirstReportLine = 1;
}  // namespace

bool ReportCommError(ResultArea& result) {
    result.Trim(kFirstReportLine);
    result.Append("");
    result.Append(kCommunicationError);
    return false;
}

bool ReportItemError(ResultArea& result, std::string_view bannerText) {
    result.Trim(kFirstReportLine);
    result.Append(bannerText);
    return false;
}

bool ReportCommError(ItemContext& ctx) {
    ctx.record.Cause(kCommunicationError);
    return ReportCommError(ctx.result);
}

bool ReportItemError(ItemContext& ctx, std::string_view bannerText) {
    ctx.record.Cause(bannerText);
    return ReportItemError(ctx.result, bannerText);
}

bool AcceptedOrReported(ItemContext& ctx, uint8_t outcome, std::string_view bannerText) {
    switch (outcome) {
        case CommandExchange::kAccepted:
            return true;
        case CommandExchange::kRefused:
            return ReportItemError(ctx, bannerText);
        default:
            return ReportCommError(ctx);
    }
}

void ReportDescriptionsHeader(ResultArea& result) {
    result.Append("");
    result.Append(kDescriptionsLine);
}

void ReportClickCancel(ResultArea& result) {
    result.Append("");
    result.Append(kClickCancel);
}

}  // namespace zul
