#include "dataset_inputs.hpp"

void readModelLocatorFile(std::ifstream& stream, const std::string& filePath,
                          std::string& modelPath)
{
    stream.open(filePath);
    std::string word;
    while (stream >> word) modelPath = word;
    stream.close();
}

std::string describeUnnamedModel(const std::string& datasetRoot)
{
    return "no STEP model named: '" + datasetRoot + "/data/address.txt' is missing or holds no word";
}
