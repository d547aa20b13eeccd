// The one value type of every body on the playfield: ship, reserve icon,
// asteroid, saucer and both kinds of shot.
#pragma once

struct Vec2 {
    float x = 0.0f;
    float y = 0.0f;
};

class SpaceObject {
public:
    // Builds the models, so it draws 20 random numbers like every reset.
    SpaceObject();

    void reset();
    void setup(float x, float y, float vx, float vy, int size, float angle, int scale);
    // Rebuilds the ship and saucer outlines only; draws nothing.
    void setScale(int k);

    float getX() const { return x; }
    void setX(float v) { x = v; }
    float getY() const { return y; }
    void setY(float v) { y = v; }
    float getVX() const { return vx; }
    void setVX(float v) { vx = v; }
    float getVY() const { return vy; }
    void setVY(float v) { vy = v; }
    float getAngle() const { return angle; }
    void setAngle(float v) { angle = v; }
    int getSize() const { return size; }
    void setSize(int v) { size = v; }
    int getScale() const { return scale; }
    int getLife() const { return life; }
    void setLife(int v) { life = v; }
    int getSteer() const { return steer; }
    void setSteer(int v) { steer = v; }
    int getPhase() const { return phase; }
    bool isThrusting() const { return thrusting; }
    void setThrusting(bool v) { thrusting = v; }
    // A saucer remembers the kind it was spawned as, whatever the mouse does
    // to its scale later.
    bool isSmallSaucer() const { return smallSaucer; }
    void setSmallSaucer(bool v) { smallSaucer = v; }

    void buildShipModel(float ox, float oy);
    void buildRockModel();
    void buildSaucerModel(float ox, float oy);

    void updateShipPoints();
    void updateRockPoints();
    void updateSaucerPoints();

    void moveShip(int fieldWidth, int fieldHeight);
    void moveRock(int fieldWidth, int fieldHeight);
    void moveSaucer(int fieldWidth, int fieldHeight);
    void moveBullet(int fieldWidth, int fieldHeight);

    // Read directly by the renderer.
    Vec2 shipModel[8];
    Vec2 shipPoints[8];
    Vec2 rockModel[20];
    Vec2 rockPoints[20];
    Vec2 saucerModel[17];
    Vec2 saucerPoints[17];

private:
    void wrapStep(int fieldWidth, int fieldHeight);
    void phaseStep();
    void storeScale(int k);

    float x = 0.0f;
    float y = 0.0f;
    float vx = 0.0f;
    float vy = 0.0f;
    float angle = 0.0f;
    int size = 8;
    int scale = 1;
    int life = 0;
    int steer = 0;
    int phase = 0;
    bool thrusting = false;
    bool smallSaucer = false;
};
