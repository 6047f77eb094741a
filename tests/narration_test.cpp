// What the page says about the edit (web/narration.cpp): the messages, one per burst and in order,
// in the page's Portuguese; the table of active points; the key pad's toggles and selection; and
// frames that report nothing when nothing changed.
#include <GL/glut.h>

#include <functional>
#include <sstream>

#include "fixture.h"
#include "input/input.h"
#include "web/narration.h"

namespace {
double now = 0.0;  // the page's clock, in milliseconds

void keys(const std::string& ks) {
    for (char k : ks) {
        now += 10.0;
        onKeyboard(static_cast<unsigned char>(k), 0, 0);
        narrateKey(static_cast<unsigned char>(k), now);
    }
}

void pick(void (*handler)(int), int value) {
    now += 10.0;
    handler(value);
    narrateMenuPick(value, now);
}

void arrow(int key) {
    now += 10.0;
    onSpecialKey(key, 0, 0);
    narrateSpecialKey(key, now);
}

int frame(double after = 16.0) {
    now += after;
    display();
    return narrateFrame(now);
}

std::vector<std::string> said() {
    std::vector<std::string> out;
    std::istringstream all(vellorinNarrationTakeMessages());
    for (std::string line; std::getline(all, line);) out.push_back(line);
    return out;
}

// The table row by row, each cell's lines joined by "|".
std::vector<std::string> table() {
    std::vector<std::string> out;
    for (int i = 0; i < vellorinNarrationRows(); ++i) {
        std::string row;
        for (int j = 0; j < vellorinNarrationCols(); ++j) {
            std::string cell = vellorinNarrationCell(i, j);
            for (char& c : cell) c = c == '\n' ? '|' : c;
            row += (j ? "  " : "") + cell;
        }
        out.push_back(row);
    }
    return out;
}

class Narration : public Editor {
protected:
    void SetUp() override {
        Editor::SetUp();
        narrationRestart();
        now = 1000.0;
        ASSERT_EQ(frame(), kNarrationView);  // the first frame: the table, nothing said
    }
};
}  // namespace

TEST_F(Narration, ATypicalEditIsSaidOncePerBurstInOrderAndTheTableFollowsIt) {
    EXPECT_EQ(vellorinNarrationCaption(), std::string("Pontos de controlo ativos: letra, x, y e z (base + desvio)"));
    EXPECT_EQ(vellorinNarrationRowHeader(3), std::string("Linha 3"));
    EXPECT_EQ(vellorinNarrationColumnHeader(0), std::string("Coluna 0"));
    EXPECT_EQ(table()[2], "s|x 100|y 300|z 0  d|x 200|y 300|z 0  f|x 300|y 300|z 0  g|x 400|y 300|z 0");
    EXPECT_EQ(frame(), 0);  // nothing changed, nothing to do

    keys("d");
    keys("z");
    for (int k = 0; k < 3; ++k) {  // a held "+": each repeat replaces the waiting message
        keys("+");
        EXPECT_EQ(frame(), kNarrationView | (k == 0 ? kNarrationMessages : 0)) << k;
        if (k == 0) {
            EXPECT_EQ(said(), (std::vector<std::string>{"Ponto d selecionado: linha 2, coluna 1.",
                                                        "Movimento em z ligado."}));
        }
    }
    EXPECT_EQ(vellorinNarrationToggles(), 4);
    EXPECT_EQ(vellorinNarrationToggled('z') * 10 + vellorinNarrationToggled('x'), 10);
    EXPECT_EQ(vellorinNarrationSelected(), 2 * 4 + 1);
    EXPECT_EQ(vellorinNarrationSelectedRow() * 10 + vellorinNarrationSelectedCol(), 21);
    EXPECT_EQ(frame(kNarrationQuietMs - 40.0), 0);  // the burst has not rested yet
    EXPECT_EQ(frame(40.0), kNarrationMessages);
    EXPECT_EQ(said(), std::vector<std::string>{"Ponto d movido para x 200; y 300; z 15."});
    EXPECT_EQ(table()[2], "s|x 100|y 300|z 0  d|x 200|y 300|z 15  f|x 300|y 300|z 0  g|x 400|y 300|z 0");
    EXPECT_EQ(frame(), 0);

    pick(onColsMenu, 106);  // "Dimensao vertical" 2
    EXPECT_EQ(frame(), kNarrationView);
    pick(onMainMenu, 3);  // "Reset", carried out by the next frame, which sends the grid's message on
    EXPECT_EQ(frame(), kNarrationView | kNarrationMessages);
    EXPECT_EQ(said(), std::vector<std::string>{"Grelha de 4 linhas por 2 colunas."});
    EXPECT_EQ(frame(kNarrationQuietMs), kNarrationMessages);
    EXPECT_EQ(said(), std::vector<std::string>{
                          "Reset: pontos de controlo na posi\xe7\xe3o inicial, sem rota\xe7\xe3o nem transla\xe7\xe3o, "
                          "modos e movimentos desligados, c\xe2mara na posi\xe7\xe3o inicial."});
    EXPECT_EQ(table(), (std::vector<std::string>{"q|x 100|y 100|z 0  w|x 200|y 100|z 0",
                                                 "i|x 100|y 200|z 0  o|x 200|y 200|z 0",
                                                 "s|x 100|y 300|z 0  d|x 200|y 300|z 0",
                                                 "h|x 100|y 400|z 0  j|x 200|y 400|z 0"}));
    EXPECT_EQ(vellorinNarrationToggles(), 0);
    EXPECT_EQ(vellorinNarrationSelected(), 2 * 4 + 1);  // a reset keeps the selection
    EXPECT_EQ(frame(), 0);
}

TEST_F(Narration, EachEventSaysWhatItChangedOrChose) {
    using Event = std::function<void()>;
    auto k = [](const char* ks) -> Event { return [ks] { keys(ks); }; };
    auto m = [](void (*handler)(int), int value) -> Event { return [=] { pick(handler, value); }; };
    auto a = [](int key) -> Event { return [key] { arrow(key); }; };
    struct Case {
        std::vector<Event> events;  // each followed by a frame
        std::vector<std::string> said;
        int toggles;
        int selected;
    };
    const Case cases[] = {
        {{k("x"), k("t")},
         {"Movimento em x ligado.",
          "Modo de transla\xe7\xe3o ligado. Movimento em x desligado. Nenhum ponto selecionado."},
         16, -1},
        {{k("t"), k("+"), k("+")}, {"Modo de transla\xe7\xe3o ligado. Nenhum ponto selecionado.",
                                    "Transla\xe7\xe3o da superf\xed" "cie: tz 100."}, 16, -1},
        {{m(onAxisMenu, 304), k("r-")},
         {"Eixo de rota\xe7\xe3o: eixo dos XZ. Nenhum ponto selecionado.",
          "Modo de rota\xe7\xe3o ligado, em torno do eixo dos XZ.",
          "Rota\xe7\xe3o da superf\xed" "cie: -30 graus em torno do eixo dos XZ."}, 8, -1},
        {{k("yrd")}, {"Movimento em y ligado.", "Modo de rota\xe7\xe3o ligado, em torno do eixo dos XY. "
                      "Movimento em y desligado. Nenhum ponto selecionado.",
                      "Modo de rota\xe7\xe3o desligado. Ponto d selecionado: linha 2, coluna 1."}, 0, 9},
        {{a(GLUT_KEY_LEFT), a(GLUT_KEY_UP)}, {"C\xe2mara movida para x 913,64; y 886,36; z 370."}, 0, 0},
        // Choices said even when they change nothing; a step that moves nothing says why.
        {{k("q"), k("q")}, {"Ponto q selecionado: linha 0, coluna 0."}, 0, 0},
        {{m(onRowsMenu, 103), m(onAxisMenu, 306)},
         {"Grelha de 4 linhas por 4 colunas.", "Eixo de rota\xe7\xe3o: eixo dos XY. Nenhum ponto selecionado."}, 0, -1},
        {{k("+")}, {"Nada a mover: nenhum movimento ligado (teclas x, y e z)."}, 0, 0},
        {{m(onAxisMenu, 301), k("z-")},
         {"Eixo de rota\xe7\xe3o: eixo dos ZZ. Nenhum ponto selecionado.", "Movimento em z ligado.",
          "Nada a mover: nenhum ponto selecionado."}, 4, -1},
        {{k("b"), m(onInfoMenu, 400)}, {}, 0, 0},
        // A point outside the active grid: chosen, moved, and shown once the grid grows.
        {{m(onRowsMenu, 100), m(onColsMenu, 105), m(onPointMenu, 216), k("x+")},
         {"Grelha de 1 linha por 1 coluna.", "Ponto l selecionado: linha 3, coluna 3 (fora da grelha ativa).",
          "Movimento em x ligado.", "Ponto l movido, fora da grelha ativa: desvio x 5; y 0; z 0."}, 1, 15},
    };
    for (const Case& c : cases) {
        restoreStart();
        narrationRestart();
        frame();
        std::vector<std::string> all;
        for (const Event& e : c.events) {
            e();
            frame();
            for (const std::string& s : said()) all.push_back(s);
        }
        frame(kNarrationQuietMs);
        for (const std::string& s : said()) all.push_back(s);
        const std::string what = c.said.empty() ? "(nothing)" : c.said.back();
        EXPECT_EQ(all, c.said) << what;
        EXPECT_EQ(vellorinNarrationToggles(), c.toggles) << what;
        EXPECT_EQ(vellorinNarrationSelected(), c.selected) << what;
    }
    // The last case's grid grown again: "l" shows with its edit.
    pick(onRowsMenu, 103);
    pick(onColsMenu, 108);
    frame();
    EXPECT_EQ(table()[3], "h|x 100|y 400|z 0  j|x 200|y 400|z 0  k|x 300|y 400|z 0  l|x 405|y 400|z 0");
}
