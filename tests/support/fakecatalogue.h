#ifndef REVERIZ_TESTS_SUPPORT_FAKECATALOGUE_H
#define REVERIZ_TESTS_SUPPORT_FAKECATALOGUE_H

#include <QCoreApplication>
#include <QHash>
#include <QTranslator>

/** A translation catalogue held in memory, installed in the application while it lives. */
class FakeCatalogue : public QTranslator
{
public:
    /** texts maps "context/key" to the translated text. */
    explicit FakeCatalogue(QHash<QString, QString> texts)
        : m_texts(std::move(texts))
    {
        QCoreApplication::installTranslator(this);
    }
    ~FakeCatalogue() override { QCoreApplication::removeTranslator(this); }

    QString translate(const char* context, const char* sourceText, const char* /*disambiguation*/,
                      int /*n*/) const override
    {
        return m_texts.value(QString::fromLatin1(context) + QLatin1Char('/') + QString::fromLatin1(sourceText));
    }
    bool isEmpty() const override { return false; }

private:
    QHash<QString, QString> m_texts;
};

#endif
