// Every way a file can fail has words of its own in the language file.

#include "encode/encoder_args_builder.h"
#include "engine/failure_codes.h"
#include "image/image_job.h"
#include "run/reason_text.h"
#include "shell/lang.h"

#include <QTest>

#include <cstring>

class TstReasonText : public QObject {
    Q_OBJECT

private slots:
    void everyEngineCodeHasAText();
    void everyPreparationErrorHasAText();
    void everyPictureErrorHasAText();
    void otherReasons();
};

void TstReasonText::everyEngineCodeHasAText()
{
    int named = 0;
    for (std::uint32_t code = 1; code < 256; ++code) {
        // A code the engine has a name for is one it can send.
        if (std::strcmp(engine::FailureText(engine::FailureCode(code)), "unknown failure") == 0)
            continue;
        ++named;
        const Reason reason = Reason::Engine(int(code));
        QVERIFY2(!Lang::Get(ReasonKey(reason)).isEmpty(), qPrintable(ReasonKey(reason)));
    }
    QVERIFY(named >= 20);
    QVERIFY(!Lang::Get(ReasonKey(Reason::Engine(65534))).isEmpty()); // a failure frame without a code
    QCOMPARE(ReasonText(Reason::Engine(13)), Lang::Get("IDS_REASON_ENGINE_13"));
}

void TstReasonText::everyPreparationErrorHasAText()
{
    for (EngineArgsError error : {EngineArgsError::EmptyPath, EngineArgsError::InputNameTooLong,
                                  EngineArgsError::OutputNameTooLong, EngineArgsError::CommandLineTooLong}) {
        const Reason reason = Reason::Preparation(int(error));
        QVERIFY2(!Lang::Get(ReasonKey(reason)).isEmpty(), qPrintable(ReasonKey(reason)));
    }
}

void TstReasonText::everyPictureErrorHasAText()
{
    int named = 0;
    for (int code = 1; code < 64; ++code) {
        if (std::strcmp(ImageErrorText(ImageError(code)), "unknown") == 0)
            continue;
        ++named;
        const Reason reason = Reason::Image(code);
        QVERIFY2(!Lang::Get(ReasonKey(reason)).isEmpty(), qPrintable(ReasonKey(reason)));
    }
    QVERIFY(named >= 5);
}

void TstReasonText::otherReasons()
{
    QCOMPARE(ReasonText(Reason{}), QString());
    QCOMPARE(ReasonText(Reason::Stall(17)), QStringLiteral("stalled: no progress for 17 s"));
    for (ReasonKind kind :
         {ReasonKind::EngineMissing, ReasonKind::EngineLost, ReasonKind::NoOutput, ReasonKind::SourceGone})
        QVERIFY(!ReasonText(Reason::Of(kind)).isEmpty());
    for (IntakeRefusal refusal : {IntakeRefusal::NoSuchFile, IntakeRefusal::NotAFile, IntakeRefusal::NotSupported})
        QVERIFY(!Lang::Get(ReasonKey(Reason::Intake(refusal))).isEmpty());
    // A code this version has no words for still tells which it was.
    QVERIFY(ReasonText(Reason::Engine(201)).contains("201"));
}

QTEST_GUILESS_MAIN(TstReasonText)
#include "tst_reason_text.moc"
