#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The emulated modem's own reading of an SMS-SUBMIT PDU as a modem receives it
// after the "> " prompt: service centre address, then the TPDU in hexadecimal.
// Kept apart from the program's encoder so that each can check the other.
struct DecodedSubmit
{
    QString number; // with '+' when the type of address is international
    QString text;   // this part's text
    int part = 1;   // 1-based
    int parts = 1;
    int reference = -1;                 // concatenation reference, -1 for a single message
    int tpduLength = 0;                 // octets after the service centre address
    bool statusReportRequested = false; // TP-SRR
};

// Nothing (and the reason in *error) when the PDU is not a well-formed SMS-SUBMIT.
std::optional<DecodedSubmit> decodeSubmit(const QByteArray& hex, QString* error = nullptr);
