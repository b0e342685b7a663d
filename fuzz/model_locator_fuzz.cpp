// readModelLocatorFile against a plain extraction loop: the model path is the last word.
#include "input_file.hpp"
#include "intake/dataset_inputs.hpp"

#include <locale>
#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // One stream for every input, as the tool uses one for every file.
    static std::ifstream stream = [] {
        std::ifstream s;
        s.imbue(std::locale::classic());
        return s;
    }();
    const std::string path = writeInputFile(data, size);

    // Holds a blank, so no word of any file can be mistaken for it.
    const std::string earlier = "earlier path";
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    in.imbue(std::locale::classic());
    std::string expected = earlier;
    for (std::string word; in >> word;) expected = word;

    std::string modelPath = earlier;
    readModelLocatorFile(stream, path, modelPath);
    if (modelPath != expected) {
        failCheck("model path '" + modelPath + "', expected '" + expected + "'");
    }
    if (stream.is_open()) failCheck("the stream was left open");
    return 0;
}
