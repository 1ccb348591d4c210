// SW-P-08 router control: the link layer (swp08_link.h), the messages of the
// crosspoint and names subset (swp08_messages.h), a router's answers
// (swp08_responder.h) and the facility's numbering on the wire
// (swp08_numbering.h).
//
// A connection feeds what it reads to a Decoder, answers each frame with ACK
// or NAK (replyFor), turns frames into Messages with decodeMessage, and writes
// what encodeFrame and the Transmitter give it.
#pragma once

#include "bridges/codecs/swp08_link.h"
#include "bridges/codecs/swp08_messages.h"
#include "bridges/codecs/swp08_numbering.h"
#include "bridges/codecs/swp08_responder.h"
