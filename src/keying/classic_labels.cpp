#include "keying/classic_labels.h"

#include "keying/morse_encoder.h"

namespace vantel::keying {
namespace {

// Elements of one character as the encoder lays them out: a dot is 1 down and
// 1 up, a dash 3 down and 1 up, and 2 more up close the character.
struct Piece {
    std::int64_t elements = 0;
    std::int64_t keyDownEnd = 0;  // elements from the piece's start to the end of its last key-down
};

constexpr std::int64_t kBlankElements = 2;
constexpr std::int64_t kCharacterGap = 2;

Piece pieceOf(char character) {
    if (character == ' ') return {kBlankElements, 0};
    Piece piece;
    for (char symbol : morseCode(static_cast<unsigned char>(character))) {
        piece.keyDownEnd = piece.elements + (symbol == '.' ? 1 : 3);
        piece.elements = piece.keyDownEnd + 1;
    }
    piece.elements += kCharacterGap;
    return piece;
}

}  // namespace

std::string encodedMessage(std::string_view message) {
    std::string encoded;
    for (char c : toUpperAscii(message)) {
        if (c == ' ' || !morseCode(static_cast<unsigned char>(c)).empty()) encoded += c;
    }
    return encoded;
}

std::vector<TimedLabel> classicLabels(std::string_view encoded, std::int64_t samplesPerElement) {
    std::vector<TimedLabel> labels;
    labels.reserve(encoded.size());
    std::int64_t element = 0;
    for (char c : encoded) {
        const Piece piece = pieceOf(c);
        const std::int64_t endElement = element + (c == ' ' ? piece.elements : piece.keyDownEnd);
        // The one-sample delay of the keying.
        labels.push_back({std::string(1, c), element * samplesPerElement + 1, endElement * samplesPerElement + 1});
        element += piece.elements;
    }
    return labels;
}

}  // namespace vantel::keying
