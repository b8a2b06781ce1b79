INSERT INTO contact VALUES(1,'','Lucia Ortega');
INSERT INTO data VALUES(1,1,1,'','Lucia Ortega','Lucia','Ortega','','','','','','','','','','','',NULL);
INSERT INTO data VALUES(2,10,1,'','Globex','','','',' ; Finance ','','','','','','','','','',NULL);
INSERT INTO data VALUES(3,12,1,'',replace('Calle Mayor 1 \n \nApartado 12 \nMadrid ,   28013 \nEspaña','\n',char(10)),'1','',replace('Calle Mayor 1 \n \nApartado 12 ','\n',char(10)),'','','Madrid ',' ','28013 ','España','','','','',NULL);
INSERT INTO data VALUES(4,12,1,'',replace('2 Side St\n , 54321','\n',char(10)),'2','','2 Side St','','',' ','','54321','','','','','',NULL);
