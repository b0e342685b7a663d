// The datasets of the batch benchmark: many datasets naming one model, each listing a few faces
// of its own, as a load-case study does.
#include "bench.hpp"

#include <fstream>
#include <locale>

std::vector<fs::path> makeBatchDatasets(const fs::path& directory, const fs::path& model,
                                        int faceCount, int count, int listed)
{
    std::vector<fs::path> roots;
    for (int d = 0; d < count; ++d) {
        const fs::path root = directory / ("d" + std::to_string(1000 + d).substr(1));
        fs::remove_all(root);
        fs::create_directories(root / "data" / "force");
        fs::create_directories(root / "data" / "restraint");
        std::ofstream(root / "data" / "address.txt") << fs::absolute(model).string() << '\n';
        std::ofstream force(root / "data" / "force" / "loads.txt");
        std::ofstream restraint(root / "data" / "restraint" / "supports.txt");
        force.imbue(std::locale::classic());
        restraint.imbue(std::locale::classic());
        // Spread over the model, shifted by the dataset's number, so that no two datasets list
        // the same faces (while the model has room for it).
        std::set<std::int32_t> selected;
        for (int k = 0; k < listed; ++k) {
            const long long spread = static_cast<long long>(k) * faceCount / listed;
            const int face = static_cast<int>((spread + 7LL * d) % faceCount) + 1;
            (k % 2 == 0 ? force : restraint)
                << face << (k % 2 == 0 ? " 0 -250\n" : " 1 1 1 0 0 0\n");
            selected.insert(face);
        }
        // The floor's selection: sorted and distinct, as readSelection gives it back.
        const std::vector<std::int32_t> sorted(selected.begin(), selected.end());
        std::ofstream(root / "selection.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(sorted.data()),
                   static_cast<std::streamsize>(sorted.size() * sizeof(std::int32_t)));
        roots.push_back(root);
    }
    return roots;
}
