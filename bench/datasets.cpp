// The datasets: the generated plate models, and dataset roots whose force and restraint lists
// select a few, a tenth or every face, or hold a long list that mostly selects nothing.
#include "bench.hpp"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <locale>
#include <random>

namespace {

void writeLists(const fs::path& root, const std::vector<double>& force,
                const std::vector<double>& restraint)
{
    fs::remove_all(root / "data");
    fs::create_directories(root / "data" / "force");
    fs::create_directories(root / "data" / "restraint");
    std::ofstream forceFile(root / "data" / "force" / "loads.txt");
    forceFile.imbue(std::locale::classic());
    for (std::size_t i = 0; i < force.size(); ++i) {
        const double load = static_cast<double>(i % 7) * 12.5;
        forceFile << force[i] << ' ' << load << ' ' << -250.0 - load << '\n';
    }
    std::ofstream restraintFile(root / "data" / "restraint" / "supports.txt");
    restraintFile.imbue(std::locale::classic());
    for (const double face : restraint) restraintFile << face << " 1 1 1 0 0 0\n";
}

// Builds one dataset: the force list names `faces` (shuffled, as a user's file would be), the
// restraint list every second of them; selection.bin holds the distinct selected numbers, sorted,
// for the floor.
Dataset makeDataset(const fs::path& root, const std::string& name, const fs::path& model,
                    std::vector<double> force, std::vector<double> restraint, int faceCount)
{
    std::mt19937 random(12345);
    std::shuffle(force.begin(), force.end(), random);
    std::shuffle(restraint.begin(), restraint.end(), random);
    writeLists(root, force, restraint);
    std::ofstream(root / "data" / "address.txt") << fs::absolute(model).string() << '\n';

    std::set<std::int32_t> selected;
    for (const std::vector<double>* list : {&force, &restraint}) {
        for (const double entry : *list) {
            if (entry >= 1 && entry <= faceCount && entry == std::floor(entry)) {
                selected.insert(static_cast<std::int32_t>(entry));
            }
        }
    }
    const std::vector<std::int32_t> sorted(selected.begin(), selected.end());
    std::ofstream(root / "selection.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(sorted.data()),
               static_cast<std::streamsize>(sorted.size() * 4));

    Dataset dataset;
    dataset.name = name;
    dataset.root = root;
    dataset.selected = static_cast<int>(sorted.size());
    dataset.forceEntries = force.size();
    dataset.restraintEntries = restraint.size();
    return dataset;
}

std::vector<double> spreadFaces(int count, int faceCount)
{
    std::vector<double> faces;
    count = std::min(count, faceCount);
    for (int i = 0; i < count; ++i) {
        faces.push_back(1 + std::floor(static_cast<double>(i) * faceCount / count));
    }
    return faces;
}

std::vector<double> everySecond(const std::vector<double>& faces)
{
    std::vector<double> chosen;
    for (std::size_t i = 0; i < faces.size(); i += 2) chosen.push_back(faces[i]);
    return chosen;
}

} // namespace

const std::vector<std::string>& datasetKinds()
{
    static const std::vector<std::string> kinds = {"10", "10%", "all", "10k-list"};
    return kinds;
}

std::vector<Dataset> makeDatasets(const fs::path& directory, const std::string& label,
                                  const fs::path& model, int faceCount,
                                  const std::vector<std::string>& kinds)
{
    std::vector<Dataset> datasets;
    const auto add = [&](const std::string& name, const std::string& dirName,
                         const std::vector<double>& force, const std::vector<double>& restraint) {
        if (std::find(kinds.begin(), kinds.end(), name) == kinds.end()) return;
        datasets.push_back(
            makeDataset(directory / (label + "-" + dirName), name, model, force, restraint,
                        faceCount));
    };
    const std::vector<double> ten = spreadFaces(10, faceCount);
    const std::vector<double> tenth = spreadFaces(std::max(1, faceCount / 10), faceCount);
    const std::vector<double> all = spreadFaces(faceCount, faceCount);
    add("10", "ten", ten, everySecond(ten));
    add("10%", "tenth", tenth, everySecond(tenth));
    add("all", "all", all, everySecond(all));

    // 10,000 force entries: 1,000 name 100 faces ten times over, 9,000 name faces the model does
    // not have (a list left over from another revision of the part).
    std::vector<double> longList;
    const std::vector<double> hundred = spreadFaces(100, faceCount);
    for (int i = 0; i < 1000; ++i) longList.push_back(hundred[static_cast<std::size_t>(i) % hundred.size()]);
    for (int i = 0; i < 9000; ++i) longList.push_back(faceCount + 1 + i);
    add("10k-list", "longlist", longList, ten);
    return datasets;
}

// Generated once: a later run finds the model and keeps it.
bool ensurePlate(const fs::path& work, const fs::path& makeModels, int faces, fs::path& model)
{
    fs::create_directories(work / "models");
    model = work / "models" / ("plate" + std::to_string(faces) + ".step");
    if (fs::exists(model)) return true;
    std::cout << "generating " << model.string() << " ..." << std::flush;
    const ProcessFigures figures =
        runProcess({makeModels.string(), "plate", std::to_string(faces), model.string()},
                   work / "models" / "rss.txt");
    std::cout << " " << formatMs(figures.wallMs) << " ms" << std::endl;
    return figures.exitStatus == 0 && fs::exists(model);
}

std::vector<std::int32_t> readSelection(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::vector<std::int32_t> faces(static_cast<std::size_t>(fs::file_size(file)) / 4);
    in.read(reinterpret_cast<char*>(faces.data()), static_cast<std::streamsize>(faces.size() * 4));
    return faces;
}
