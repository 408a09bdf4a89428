#include "common/encryption/cryptoinit.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Installing a translation catalogue needs an application object.
    QCoreApplication application(argc, argv);
    Reveriz::Crypto::initialize();
    return RUN_ALL_TESTS();
}
