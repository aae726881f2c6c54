#include "shadersource.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

TEST(ShaderSource, WorkingDirectoryFileOverridesTheBuiltInText) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));

    // No file here: the built-in text, marked as inline.
    QFile resource(":/shaders/gray.fs");
    ASSERT_TRUE(resource.open(QIODevice::ReadOnly));
    const std::string builtIn = resource.readAll().toStdString();
    EXPECT_EQ(findShaderSource("gray.fs", ":/shaders/gray.fs"), "*" + builtIn);

    std::ofstream("gray.fs") << "void main() { gl_FragColor = vec4(1.0); }\n";
    EXPECT_EQ(findShaderSource("gray.fs", ":/shaders/gray.fs"), "gray.fs");
    // Only the same name counts.
    EXPECT_EQ(findShaderSource("stereo.fs", ":/shaders/stereo.fs")[0], '*');

    QDir::setCurrent(before);
}
