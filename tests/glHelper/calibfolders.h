#pragma once
// The calibration tests' program: a working directory and a configuration folder of its
// own, the application's names set as the program sets them, and a GL application made
// when the test asks for it.
#include "AppTestHost.h"
#include "CApp.h"
#include "GLTestContext.h"
#include "scopedenv.h"
#include "tempfolder.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

class CalibFolders : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        if (HasFatalFailure())
            return;
        char* old = getcwd(nullptr, 0);
        mOldDir = old;
        free(old);
        ASSERT_EQ(chdir(mWork.path().c_str()), 0);
        QCoreApplication::setOrganizationName("Ruvello");
        QCoreApplication::setApplicationName("Ruvello");
        mConfigFile = mConfig.path() + "/Ruvello/Ruvello/ui-calib.txt";
    }
    void TearDown() override {
        if (mApp)
            mApp->shutdownGL();
        mApp.reset();
        mHost.reset();
        EXPECT_EQ(chdir(mOldDir.c_str()), 0);
    }

    static std::string readText(const std::string& path) {
        std::ostringstream text;
        text << std::ifstream(path).rdbuf();
        return text.str();
    }
    static bool exists(const std::string& path) {
        struct stat st;
        return stat(path.c_str(), &st) == 0;
    }

    CTempFolder mWork, mConfig;
    CScopedEnv mConfigHome{"XDG_CONFIG_HOME", mConfig.path()};
    std::string mOldDir, mConfigFile;
    std::unique_ptr<AppTestHost> mHost;
    std::unique_ptr<CApp> mApp;
};
