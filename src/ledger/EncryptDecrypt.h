#pragma once

#include <QString>

// Deciphering of texts stored as upper-case hexadecimal pairs. The program
// only deciphers; nothing in it enciphers.

// The program's homepage address, enciphered for DecryptTwoStage with
// HomepageKey.
extern const QString HomepageCipher;
extern const QString HomepageKey;

// One stage: the first pair is the starting value, every further pair gives
// one character, XORed with the key taken round and round. A pair that is not
// hexadecimal counts as 0. Raises Exception for an empty key.
QString Decrypt(const QString &cipher, const QString &key);

// Two stages: the first 14 characters decipher with the key to the six-letter
// key of the second stage, which deciphers the rest.
QString DecryptTwoStage(const QString &cipher, const QString &key);
