#include "platform/db/EngineError.h"
#include "platform/db/LikePattern.h"

#include <QtTest>

using engine::LikePattern;

class TestLikePattern : public QObject {
    Q_OBJECT
private slots:
    void matches_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("expected");
        // Runs of characters and single characters.
        QTest::newRow("contains") << "*basalt*"
                                  << "Olivine basalt" << true;
        QTest::newRow("contains ignores case") << "*BASALT*"
                                               << "Olivine basalt" << true;
        QTest::newRow("contains not") << "*basalt*"
                                      << "Andesite" << false;
        QTest::newRow("empty term matches empty text") << "**"
                                                       << "" << true;
        QTest::newRow("star alone") << "*"
                                    << "anything" << true;
        QTest::newRow("equals") << "granite"
                                << "GRANITE" << true;
        QTest::newRow("equals not prefix") << "gran"
                                           << "granite" << false;
        QTest::newRow("prefix") << "gran*"
                                << "Granodiorite" << true;
        QTest::newRow("suffix") << "*ite"
                                << "Granodiorite" << true;
        QTest::newRow("suffix not") << "*ite"
                                    << "Basalt" << false;
        QTest::newRow("question one char") << "b?salt"
                                           << "basalt" << true;
        QTest::newRow("question needs a char") << "basalt?"
                                               << "basalt" << false;
        QTest::newRow("star backtracks") << "*a*a*t"
                                         << "banana split" << true;
        QTest::newRow("star backtracks not") << "*a*a*x"
                                             << "banana split" << false;
        // Digits and lists.
        QTest::newRow("digit") << "DZ-00###5"
                               << "DZ-001235" << true;
        QTest::newRow("digit refuses letter") << "DZ-#"
                                              << "DZ-x" << false;
        QTest::newRow("list") << "[bg]*"
                              << "granite" << true;
        QTest::newRow("list not") << "[bg]*"
                                  << "andesite" << false;
        QTest::newRow("range") << "*[a-c]"
                               << "xb" << true;
        QTest::newRow("range ignores case") << "[A-C]*"
                                            << "basalt" << true;
        QTest::newRow("negated list") << "[!a]*"
                                      << "basalt" << true;
        QTest::newRow("negated list not") << "[!b]*"
                                          << "basalt" << false;
        QTest::newRow("bracketed star is literal") << "*[*]*"
                                                   << "a*b" << true;
        QTest::newRow("bracketed star is literal not") << "*[*]*"
                                                       << "ab" << false;
        QTest::newRow("bracketed hash is literal") << "[#]1"
                                                   << "#1" << true;
        QTest::newRow("empty list matches nothing extra") << "a[]b"
                                                          << "ab" << true;
        // Text beyond ASCII.
        QTest::newRow("accented") << "*témouchent*"
                                  << "Aïn Témouchent, outcrop" << true;
        QTest::newRow("accented ignores case") << "*TÉMOUCHENT*"
                                               << "Aïn Témouchent" << true;
        QTest::newRow("accented is not plain") << "*temouchent*"
                                               << "Aïn Témouchent" << false;
        QTest::newRow("question takes one accented char") << "A?n"
                                                          << "Aïn" << true;
        QTest::newRow("apostrophe literal") << "*o'brien*"
                                            << "R. O'Brien" << true;
        QTest::newRow("percent is literal") << "*%*"
                                            << "abc" << false;
        QTest::newRow("underscore is literal") << "a_c"
                                               << "abc" << false;
    }
    void matches() {
        QFETCH(QString, pattern);
        QFETCH(QString, text);
        QFETCH(bool, expected);
        auto p = LikePattern::compile(pattern.toStdString());
        QCOMPARE(p.matches(text.toStdString()), expected);
    }

    void unclosedListIsRefused() {
        QVERIFY_THROWS_EXCEPTION(engine::EngineError, LikePattern::compile("*[abc*"));
        try {
            LikePattern::compile("[");
        } catch (const engine::EngineError& e) {
            QCOMPARE(e.number(), engine::err::InvalidPattern);
            QCOMPARE(QString(e.what()), QString("Invalid pattern string."));
        }
    }

    void longTextsAndPatterns() {
        std::string term(10000, 'x');
        auto p = LikePattern::compile("*" + term + "*");
        QVERIFY(p.matches("a" + term + "b"));
        QVERIFY(!p.matches(term.substr(1)));
        auto many = LikePattern::compile(std::string(200, '*') + "a?" + std::string(200, '*'));
        QVERIFY(many.matches(std::string(5000, 'b') + "ab"));
    }

    void escapeCharacterOfThreeArgumentForm() {
        auto p = LikePattern::compile("a!*b", U'!');
        QVERIFY(p.matches("a*b"));
        QVERIFY(!p.matches("axxb"));
    }
};

QTEST_GUILESS_MAIN(TestLikePattern)
#include "tst_likepattern.moc"
