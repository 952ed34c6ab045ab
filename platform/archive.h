#pragma once

#include <cstdio>
#include <string>

// What a document reads itself from: a file open for reading at its start,
// and the file's full path (bytes). Documents are only ever loaded.
class CArchive {
public:
    CArchive(std::FILE* file, std::string path) : m_pFile(file), m_strPath(std::move(path)) {}

    bool IsStoring() const { return false; }
    std::FILE* GetFile() const { return m_pFile; }
    const std::string& GetFilePath() const { return m_strPath; }

private:
    std::FILE* m_pFile;
    std::string m_strPath;
};
