#include "batch_table.hpp"

#include "../console/error_printer.hpp"

#include <cerrno>

std::string modelField(const BatchDataset& dataset)
{
    return dataset.inputs.modelPath.empty() ? "-" : escapeField(dataset.inputs.modelPath);
}

const char* statusWord(DatasetStatus status)
{
    switch (status) {
    case DatasetStatus::ok: return "ok";
    case DatasetStatus::failed: return "failed";
    case DatasetStatus::stale: return "stale";
    case DatasetStatus::crashed: return "crashed";
    case DatasetStatus::timeout: return "timeout";
    case DatasetStatus::stopped: return "stopped";
    case DatasetStatus::pending: break;
    }
    return "pending";
}

std::string tableHeader()
{
    return "dataset\tstatus\tfiles\tmodel\n";
}

void printKnownRows(BatchTable& table, const std::vector<BatchDataset>& datasets)
{
    std::string rows, lines;
    for (; table.printed < datasets.size(); ++table.printed) {
        const BatchDataset& dataset = datasets[table.printed];
        if (dataset.status == DatasetStatus::pending) break;
        const std::string root = escapeField(dataset.root);
        rows += root + '\t' + statusWord(dataset.status) + '\t' + std::to_string(dataset.files) +
                '\t' + modelField(dataset) + '\n';
        for (const std::string& line : dataset.lines) lines += root + ": " + line + '\n';
    }
    // The lines first: a reader of both sees why before the row that says so.
    *table.lines << lines << std::flush;
    if (rows.empty() || !*table.rows) return;
    errno = 0;
    *table.rows << rows << std::flush;
    if (!*table.rows) table.writeError = errno != 0 ? errno : EIO;
}

void printModelMessages(std::ostream& out, const ModelGroup& group, const std::string& messages)
{
    const std::size_t count = group.members.size();
    out << commandName() << ": model '" << group.modelPath << "' (" << count
        << (count == 1 ? " dataset" : " datasets") << "):\n"
        << messages;
    if (!messages.empty() && messages.back() != '\n') out << '\n';
    out << std::flush;
}
