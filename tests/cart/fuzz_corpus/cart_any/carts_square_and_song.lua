-- square and triangle sfx, a one-pattern song
