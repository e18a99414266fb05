#pragma once

#include <boost/filesystem.hpp>
#include <boost/filesystem/fstream.hpp>
#include <gtest/gtest.h>

#include <iterator>
#include <string>

namespace harnow_test {

// A fresh directory under the system's temp directory, removed with everything in it.
class TempDir
{
public:
    TempDir()
        : m_path(boost::filesystem::temp_directory_path() /
                 boost::filesystem::unique_path("harnow-%%%%-%%%%-%%%%"))
    {
        boost::filesystem::create_directory(m_path);
    }
    ~TempDir()
    {
        boost::system::error_code ignored;
        boost::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const boost::filesystem::path& path() const { return m_path; }

private:
    boost::filesystem::path m_path;
};

// Makes a directory the working directory for its lifetime (the served directory is the
// working directory), then goes back.
class ScopedCurrentPath
{
public:
    explicit ScopedCurrentPath(const boost::filesystem::path& path)
        : m_saved(boost::filesystem::current_path())
    {
        boost::filesystem::current_path(path);
    }
    ~ScopedCurrentPath()
    {
        boost::system::error_code ignored;
        boost::filesystem::current_path(m_saved, ignored);
    }

private:
    boost::filesystem::path m_saved;
};

// Each test runs in a fresh empty working directory; paths in tests are relative to it.
class TempDirTest : public ::testing::Test
{
protected:
    // Writes a file (making its directories) below the temp directory.
    void writeFile(const std::string& relative, const std::string& data)
    {
        boost::filesystem::path target = m_dir.path() / relative;
        boost::filesystem::create_directories(target.parent_path());
        boost::filesystem::ofstream out(target, std::ios::binary | std::ios::trunc);
        out.write(data.data(), std::streamsize(data.size()));
    }
    std::string readFile(const std::string& relative)
    {
        boost::filesystem::ifstream in(m_dir.path() / relative, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    TempDir m_dir;
    ScopedCurrentPath m_cwd{m_dir.path()};
};

} // namespace harnow_test
